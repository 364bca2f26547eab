#include "tests/bluez/MockBluez.h"


#include <gtest/gtest.h>

#include <chrono>
#include <sdbus-c++/sdbus-c++.h>

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

MockBluez::MockBluez(Options options)
    : world_(BluezWorld::Options{.bluez = options.bluez, .adapter = false, .vehicle = false, .denyBluez = options.denyBluez}) {
  if (!world_.ready()) {
    problem_ = world_.error();
    return;
  }
  if (!options.bluez) {
    ready_ = true;  // a bare bus: nothing to prepare
    return;
  }
  try {
    connection_ = sdbus::createSessionBusConnectionWithAddress(world_.busAddress());
    // Our helpers on the mock's root object: python run inside the mock.
    proxy("/")->callMethod("AddMethod").onInterface(kMock).withArguments(kHelper, "Exec", "s", "", "exec(args[0])");
    proxy("/")->callMethod("AddMethod").onInterface(kMock).withArguments(kHelper, "Eval", "s", "s", "ret = str(eval(args[0]))");
    runInMock("objects['/'].written = []");
    ready_ = true;
  } catch (const sdbus::Error& error) {
    problem_ = "cannot prepare the mock: " + error.getMessage();
  }
}

MockBluez::~MockBluez() { connection_.reset(); }

std::unique_ptr<sdbus::IProxy> MockBluez::proxy(const std::string& path) {
  return sdbus::createProxy(*connection_, "org.bluez", path);
}

void MockBluez::runInMock(const std::string& code) {
  if (!connection_) return;
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
  if (!connection_) return result;
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
                                             const std::vector<std::string>& flags, int mtu, int acquireMtu) {
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
            (acquireMtu > 0 ? "props['WriteAcquired'] = dbus.Boolean(False)\n" : std::string()) +
            "objects['/'].AddObject(p, " + iface + ", props, [\n"
            "  ('ReadValue', 'a{sv}', 'ay', \"ret = self.props[" + iface + "]['Value']\"),\n"
            "  ('WriteValue', 'aya{sv}', '', \"objects['/'].written.append(self.path + ' ' + bytes(args[0]).hex() + ' ' + "
            "str(args[1].get('type', '')))\"),\n"
            "  ('StartNotify', '', '', \"self.props[" + iface + "]['Notifying'] = True\"),\n"
            "  ('StopNotify', '', '', \"self.props[" + iface + "]['Notifying'] = False\"),\n"
            "])\n" +
            (acquireMtu > 0 ? "objects[p].AddMethod(" + iface + ", 'AcquireWrite', 'a{sv}', 'hq', "
                              "\"import os\\nret = (dbus.types.UnixFd(os.open('/dev/null', os.O_WRONLY)), dbus.UInt16(" +
                              std::to_string(acquireMtu) + "))\")\n"
                            : std::string()) +
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
  world_.killBus();
}

}  // namespace lumo::test
