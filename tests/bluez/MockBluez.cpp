#include "tests/bluez/MockBluez.h"

#include <fcntl.h>
#include <libgen.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sdbus-c++/sdbus-c++.h>
#include <thread>

extern char** environ;

namespace lumo::test {

namespace {

constexpr const char* kMock = "org.freedesktop.DBus.Mock";
constexpr const char* kBluezMock = "org.bluez.Mock";
// Our own helper methods on the mock's root object.
constexpr const char* kHelper = "org.lumo.Test";

std::string pythonText(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace

MockBluez::MockBluez(Options options) {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumo-bluez-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    problem_ = "no temporary folder";
    return;
  }
  dir_ = pattern;
  const auto socket = dir_ / "bus";
  address_ = "unix:path=" + socket.string();
  {
    std::ofstream config(dir_ / "bus.conf");
    config << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
              "<busconfig><type>session</type><listen>"
           << address_
           << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
              "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>";
    if (options.denyBluez) {
      config << "<deny send_destination=\"org.bluez\" send_interface=\"org.freedesktop.DBus.ObjectManager\"/>";
    }
    config << "</policy></busconfig>\n";
  }
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
  daemon_ = spawn({"dbus-daemon", "--nofork", "--config-file=" + (dir_ / "bus.conf").string()});
  // Waiting for another process to come up: the only real-time pause in these tests.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!connection_ && std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(socket)) {
      try {
        connection_ = sdbus::createSessionBusConnectionWithAddress(address_);
      } catch (const sdbus::Error&) {
      }
    }
    if (!connection_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!connection_) {
    problem_ = "dbus-daemon did not come up";
    return;
  }
  if (!options.startBluez) {
    ready_ = true;
    return;
  }
  mock_ = spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "bluez5"});
  if (!waitForBluez()) {
    problem_ = "the BlueZ mock did not come up";
    return;
  }
  try {
    proxy("/")->callMethod("AddMethod").onInterface(kMock).withArguments(kHelper, "Exec", "s", "", "exec(args[0])");
    proxy("/")->callMethod("AddMethod").onInterface(kMock).withArguments(kHelper, "Eval", "s", "s", "ret = str(eval(args[0]))");
    runInMock("objects['/'].written = []");
    ready_ = true;
  } catch (const sdbus::Error& error) {
    problem_ = "cannot prepare the mock: " + error.getMessage();
  }
}

MockBluez::~MockBluez() {
  connection_.reset();
  for (pid_t pid : {mock_, daemon_}) {
    if (pid <= 0) continue;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

pid_t MockBluez::spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // The children inherit DBUS_SYSTEM_BUS_ADDRESS, so the mock's "--system" is our bus.
  // Their chatter goes to a file beside the bus, read when a test needs it.
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  const std::string log = (dir_ / (std::string(::basename(args[0])) + ".log")).string();
  ::posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  int failed = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

bool MockBluez::waitForBluez() {
  auto bus = sdbus::createProxy(*connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    bool owned = false;
    try {
      bus->callMethod("NameHasOwner").onInterface("org.freedesktop.DBus").withArguments("org.bluez").storeResultsTo(owned);
    } catch (const sdbus::Error&) {
      return false;
    }
    if (owned) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::unique_ptr<sdbus::IProxy> MockBluez::proxy(const std::string& path) {
  return sdbus::createProxy(*connection_, "org.bluez", path);
}

void MockBluez::runInMock(const std::string& code) {
  if (!connection_ || mock_ <= 0) return;
  try {
    proxy("/")->callMethod("Exec").onInterface(kHelper).withArguments(code);
  } catch (const sdbus::Error& error) {
    ADD_FAILURE() << "mock code failed: " << error.getMessage() << "\n" << code;
  }
}

std::string MockBluez::addAdapter(const std::string& name) {
  std::string path;
  proxy("/org/bluez")->callMethod("AddAdapter").onInterface(kBluezMock).withArguments(name, "lumo-test").storeResultsTo(path);
  return path;
}

void MockBluez::removeAdapter(const std::string& name) {
  proxy("/org/bluez")->callMethod("RemoveAdapter").onInterface(kBluezMock).withArguments(name);
}

void MockBluez::setPowered(bool powered, const std::string& adapter) {
  updateProperties("/org/bluez/" + adapter, "org.bluez.Adapter1",
                   {{"Powered", powered ? "dbus.Boolean(True)" : "dbus.Boolean(False)"}});
}

std::string MockBluez::addDevice(const std::string& address, const std::string& name, const std::string& adapter) {
  std::string path;
  proxy("/org/bluez")->callMethod("AddDevice").onInterface(kBluezMock).withArguments(adapter, address, name).storeResultsTo(path);
  return path;
}

void MockBluez::removeDevice(const std::string& path, const std::string& adapter) {
  proxy("/org/bluez/" + adapter)->callMethod("RemoveDevice").onInterface("org.bluez.Adapter1").withArguments(sdbus::ObjectPath(path));
}

void MockBluez::updateProperties(const std::string& path, const std::string& interface,
                                 const std::map<std::string, std::string>& pythonValues) {
  std::string dict = "{";
  for (const auto& [name, value] : pythonValues) dict += pythonText(name) + ": " + value + ", ";
  dict += "}";
  runInMock("objects[" + pythonText(path) + "].UpdateProperties(" + pythonText(interface) + ", " + dict + ")");
}

void MockBluez::replaceMethod(const std::string& path, const std::string& interface, const std::string& method,
                              const std::string& inSignature, const std::string& outSignature,
                              const std::string& code) {
  runInMock("objects[" + pythonText(path) + "].AddMethod(" + pythonText(interface) + ", " + pythonText(method) +
            ", " + pythonText(inSignature) + ", " + pythonText(outSignature) + ", " + pythonText(code) + ")");
}

void MockBluez::emitFromRoot(const std::string& interface, const std::string& name, const std::string& pythonArgs) {
  runInMock("objects['/'].EmitSignal(" + pythonText(interface) + ", " + pythonText(name) + ", " + pythonArgs + ")");
}

std::string MockBluez::evalInMock(const std::string& expression) {
  std::string result;
  if (!connection_ || mock_ <= 0) return result;
  try {
    proxy("/")->callMethod("Eval").onInterface(kHelper).withArguments(expression).storeResultsTo(result);
  } catch (const sdbus::Error& error) {
    ADD_FAILURE() << "mock expression failed: " << error.getMessage() << "\n" << expression;
  }
  return result;
}

namespace {
std::string handlePath(const std::string& parent, const char* kind, int handle) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04x", handle);
  return parent + "/" + kind + digits;
}
}  // namespace

std::string MockBluez::addGattService(const std::string& devicePath, int handle, const std::string& uuid) {
  std::string path = handlePath(devicePath, "service", handle);
  runInMock("p = " + pythonText(path) + "\n"
            "props = {'UUID': dbus.String(" + pythonText(uuid) + "), 'Device': dbus.ObjectPath(" + pythonText(devicePath) +
            "), 'Primary': dbus.Boolean(True)}\n"
            "objects['/'].AddObject(p, 'org.bluez.GattService1', props, [])\n"
            "objects['/'].EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded', 'oa{sa{sv}}', "
            "[dbus.ObjectPath(p), {'org.bluez.GattService1': props}])");
  return path;
}

std::string MockBluez::addGattCharacteristic(const std::string& servicePath, int handle, const std::string& uuid,
                                             const std::vector<std::string>& flags, int mtu) {
  std::string path = handlePath(servicePath, "char", handle);
  std::string flagList = "[";
  for (const auto& flag : flags) flagList += pythonText(flag) + ", ";
  flagList += "]";
  const std::string iface = "'org.bluez.GattCharacteristic1'";
  runInMock("p = " + pythonText(path) + "\n"
            "props = {'UUID': dbus.String(" + pythonText(uuid) + "), 'Service': dbus.ObjectPath(" + pythonText(servicePath) +
            "), 'Flags': dbus.Array(" + flagList + ", signature='s'), 'Value': dbus.Array([], signature='y'), "
            "'Notifying': dbus.Boolean(False)}\n" +
            (mtu > 0 ? "props['MTU'] = dbus.UInt16(" + std::to_string(mtu) + ")\n" : std::string()) +
            "objects['/'].AddObject(p, " + iface + ", props, [\n"
            "  ('ReadValue', 'a{sv}', 'ay', \"ret = self.props[" + iface + "]['Value']\"),\n"
            "  ('WriteValue', 'aya{sv}', '', \"objects['/'].written.append(self.path + ' ' + bytes(args[0]).hex() + ' ' + "
            "str(args[1].get('type', '')))\"),\n"
            "  ('StartNotify', '', '', \"self.props[" + iface + "]['Notifying'] = True\"),\n"
            "  ('StopNotify', '', '', \"self.props[" + iface + "]['Notifying'] = False\"),\n"
            "])\n"
            "objects['/'].EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesAdded', 'oa{sa{sv}}', "
            "[dbus.ObjectPath(p), {" + iface + ": props}])");
  return path;
}

void MockBluez::removeObject(const std::string& path, const std::string& interface) {
  runInMock("objects['/'].RemoveObject(" + pythonText(path) + ")\n"
            "objects['/'].EmitSignal('org.freedesktop.DBus.ObjectManager', 'InterfacesRemoved', 'oas', "
            "[dbus.ObjectPath(" + pythonText(path) + "), [" + pythonText(interface) + "]])");
}

void MockBluez::notify(const std::string& characteristicPath, const std::vector<int>& bytes) {
  std::string list = "[";
  for (int byte : bytes) list += std::to_string(byte) + ",";
  list += "]";
  updateProperties(characteristicPath, "org.bluez.GattCharacteristic1", {{"Value", "dbus.Array(" + list + ", signature='y')"}});
}

std::vector<std::string> MockBluez::writtenValues() {
  std::string joined = evalInMock("'\\n'.join(objects['/'].written)");
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < joined.size()) {
    std::size_t end = joined.find('\n', start);
    if (end == std::string::npos) end = joined.size();
    lines.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

void MockBluez::stopDaemon() {
  connection_.reset();
  if (daemon_ > 0) {
    ::kill(daemon_, SIGTERM);
    ::waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
  }
}

}  // namespace lumo::test
