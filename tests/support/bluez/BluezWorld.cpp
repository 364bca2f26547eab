#include "tests/support/bluez/BluezWorld.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include <sdbus-c++/sdbus-c++.h>

#include "sim/bluez/MockMethods.h"

extern char** environ;

namespace lumo::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kFixtureBusName = "org.lumo.VehicleFixture";
constexpr const char* kFixturePath = "/org/lumo/VehicleFixture";
constexpr const char* kFixtureInterface = "org.lumo.VehicleFixture";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";

// Bounds of the readiness polls: generous for a loaded machine, short steps.
constexpr double kStartLimitSeconds = 15;
constexpr auto kPollStep = std::chrono::milliseconds(10);

bool socketAccepts(const std::filesystem::path& path) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::string text = path.string();
  if (text.size() >= sizeof address.sun_path) {
    ::close(fd);
    return false;
  }
  std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
  bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return accepted;
}

bool elapsed(Clock::time_point since, double seconds) {
  return std::chrono::duration<double>(Clock::now() - since).count() > seconds;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

template <typename T>
T valueOr(const std::map<std::string, sdbus::Variant>& map, const std::string& key, T fallback) {
  auto it = map.find(key);
  if (it == map.end() || !it->second.containsValueOfType<T>()) return fallback;
  return it->second.get<T>();
}

}  // namespace

BluezWorld::BluezWorld() : BluezWorld(Options{}) {}

BluezWorld::BluezWorld(Options options) : options_(std::move(options)) {
  if (const char* previous = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) previousSystemBus_ = previous;
  start();
}

BluezWorld::~BluezWorld() {
  control_.reset();
  proxies_.clear();
  busDriver_.reset();
  connection_.reset();
  // Clients first, the bus last, so nobody sees the bus vanish before its own end.
  stop(vehicle_);
  stop(mock_);
  stop(daemon_);
  if (previousSystemBus_) {
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previousSystemBus_->c_str(), 1);
  } else {
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

bool BluezWorld::fail(const std::string& what) {
  error_ = what + "\n" + logs();
  return false;
}

bool BluezWorld::start() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumo-bluez-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return fail("cannot create a temporary folder");
  dir_ = pattern;
  address_ = "unix:path=" + (dir_ / "bus").string();

  for (const char* tool : {LUMO_DBUS_DAEMON, LUMO_SYSTEM_PYTHON, LUMO_GATT_VEHICLE}) {
    if (::access(tool, X_OK) != 0) return fail(std::string("missing program: ") + tool + " (run scripts/setup)");
  }
  std::string config = options_.denyBluez ? LUMO_BLUEZ_DENY_BUS_CONFIG : LUMO_BLUEZ_BUS_CONFIG;
  if (!spawn(daemon_, "dbus-daemon",
             {LUMO_DBUS_DAEMON, "--config-file=" + config, "--address=" + address_, "--nofork", "--nopidfile"})) {
    return false;
  }
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
  if (!connect()) return false;
  if (!options_.bluez) return true;

  if (!spawn(mock_, "dbusmock", {LUMO_SYSTEM_PYTHON, "-m", "dbusmock", "--system", "--template", "bluez5"})) return false;
  if (!waitForName("org.bluez", mock_)) return false;
  if (!options_.adapter) return true;
  try {
    std::string path;
    auto* root = bluezMock("/");
    auto* adapter = bluezMock(kAdapterPath);
    if (!root || !adapter) return fail("no proxy for the mock");
    root->callMethod("AddAdapter").onInterface("org.bluez.Mock").withArguments("hci0", "lumo-test-host")
        .storeResultsTo(path);
    // The template's discovery needs a filter first and ignores the power switch; ours acts as bluetoothd.
    for (auto [name, in, code] : {std::tuple{"StartDiscovery", "", sim::bluez::MockMethods::startDiscovery()},
                                  std::tuple{"StopDiscovery", "", sim::bluez::MockMethods::stopDiscovery()},
                                  std::tuple{"SetDiscoveryFilter", "a{sv}", sim::bluez::MockMethods::setDiscoveryFilter()}}) {
      adapter->callMethod("AddMethod").onInterface(kMockInterface).withArguments("org.bluez.Adapter1", name, in, "", code);
    }
  } catch (const sdbus::Error& e) {
    return fail("adapter set-up failed: " + e.getName() + ": " + e.getMessage());
  }
  if (!options_.vehicle) return true;
  if (!spawn(vehicle_, "lumo_gatt_vehicle",
             {LUMO_GATT_VEHICLE, "--name", options_.vehicleName, "--address", options_.vehicleAddress, "--rssi",
              std::to_string(options_.rssi)})) {
    return false;
  }
  return waitForName(kFixtureBusName, vehicle_);
}

bool BluezWorld::spawn(Child& child, const std::string& name, const std::vector<std::string>& argv) {
  child.name = name;
  child.log = dir_ / (name + ".log");
  // The children see the private bus as their system bus, and the system python runs
  // without any other interpreter's settings.
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    if (text.rfind("DBUS_SYSTEM_BUS_ADDRESS=", 0) == 0 || text.rfind("PYTHONHOME=", 0) == 0 ||
        text.rfind("PYTHONPATH=", 0) == 0) {
      continue;
    }
    environment.push_back(text);
  }
  environment.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + address_);
  environment.push_back("PYTHONUNBUFFERED=1");

  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);

  // Prepared before fork: the child may only make system calls until exec.
  int log = ::open(child.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (log < 0 || devNull < 0) {
    if (log >= 0) ::close(log);
    if (devNull >= 0) ::close(devNull);
    return fail("cannot open the log of " + name);
  }
  pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid == 0) {
    // A test process that dies without its destructor takes its world with it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(devNull, STDIN_FILENO);
    ::dup2(log, STDOUT_FILENO);
    ::dup2(log, STDERR_FILENO);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  ::close(log);
  ::close(devNull);
  if (pid < 0) return fail("cannot start " + name + ": " + std::strerror(errno));
  child.pid = pid;
  return true;
}

bool BluezWorld::connect() {
  // Probe the socket first: sdbus-c++ 1.2 leaks the bus of every failed connection attempt.
  auto started = Clock::now();
  while (!socketAccepts(dir_ / "bus")) {
    if (reap(daemon_, 0)) return fail("dbus-daemon ended at start");
    if (elapsed(started, kStartLimitSeconds)) return fail("dbus-daemon did not come up");
    std::this_thread::sleep_for(kPollStep);
  }
  try {
    connection_ = sdbus::createSessionBusConnectionWithAddress(address_);
    busDriver_ = sdbus::createProxy(*connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus");
  } catch (const sdbus::Error& e) {
    return fail("cannot connect to the private bus: " + e.getMessage());
  }
  return true;
}

bool BluezWorld::waitForName(const std::string& name, const Child& child) {
  auto started = Clock::now();
  while (!elapsed(started, kStartLimitSeconds)) {
    bool owned = false;
    try {
      busDriver_->callMethod("NameHasOwner").onInterface("org.freedesktop.DBus").withArguments(name).storeResultsTo(owned);
    } catch (const sdbus::Error& e) {
      return fail("bus driver: " + e.getMessage());
    }
    if (owned) return true;
    int status = 0;
    if (child.pid > 0 && ::waitpid(child.pid, &status, WNOHANG) == child.pid) {
      return fail(child.name + " ended before owning " + name);
    }
    std::this_thread::sleep_for(kPollStep);
  }
  return fail(child.name + " did not own " + name + " in time");
}

bool BluezWorld::reap(Child& child, double seconds) {
  if (child.pid <= 0) return true;
  auto started = Clock::now();
  for (;;) {
    int status = 0;
    pid_t done = ::waitpid(child.pid, &status, WNOHANG);
    if (done == child.pid || (done < 0 && errno == ECHILD)) {
      child.pid = -1;
      return true;
    }
    if (elapsed(started, seconds)) return false;
    std::this_thread::sleep_for(kPollStep);
  }
}

void BluezWorld::stop(Child& child) {
  if (child.pid <= 0) return;
  ::kill(child.pid, SIGTERM);
  if (reap(child, 3)) return;
  ::kill(child.pid, SIGKILL);
  reap(child, 3);
}

std::string BluezWorld::logs() const {
  std::string text;
  for (const Child* child : {&daemon_, &mock_, &vehicle_}) {
    if (child->log.empty()) continue;
    text += "--- " + child->name + "\n" + readFile(child->log);
  }
  return text;
}

std::string BluezWorld::devicePath() const {
  std::string path = std::string(kAdapterPath) + "/dev_" + options_.vehicleAddress;
  for (auto& c : path) {
    if (c == ':') c = '_';
  }
  return path;
}

sdbus::IProxy* BluezWorld::bluezMock(const std::string& path) {
  if (!connection_) return nullptr;
  try {
    proxies_.push_back(sdbus::createProxy(*connection_, "org.bluez", path));
  } catch (const sdbus::Error&) {
    return nullptr;
  }
  return proxies_.back().get();
}

sdbus::IProxy* BluezWorld::vehicleControl() {
  if (!connection_) return nullptr;
  try {
    if (!control_) control_ = sdbus::createProxy(*connection_, kFixtureBusName, kFixturePath);
  } catch (const sdbus::Error&) {
    return nullptr;
  }
  return control_.get();
}

bool BluezWorld::setPowered(bool powered) {
  // Through the mock rather than Properties.Set, so it works on the denying bus too.
  return updateProperties(kAdapterPath, "org.bluez.Adapter1", {{"Powered", sdbus::Variant(powered)}});
}

bool BluezWorld::addObject(const std::string& path, const std::string& interface, const Properties& properties) {
  try {
    auto* root = bluezMock("/");
    if (!root) return false;
    using Method = sdbus::Struct<std::string, std::string, std::string, std::string>;
    root->callMethod("AddObject").onInterface(kMockInterface).withArguments(path, interface, properties, std::vector<Method>{});
    std::map<std::string, Properties> interfaces{{interface, properties}};
    std::vector<sdbus::Variant> arguments{sdbus::Variant(sdbus::ObjectPath(path)), sdbus::Variant(interfaces)};
    root->callMethod("EmitSignal").onInterface(kMockInterface)
        .withArguments("org.freedesktop.DBus.ObjectManager", "InterfacesAdded", "oa{sa{sv}}", arguments);
    return true;
  } catch (const sdbus::Error&) {
    return false;
  }
}

bool BluezWorld::updateProperties(const std::string& path, const std::string& interface, const Properties& properties) {
  try {
    auto* object = bluezMock(path);
    if (!object) return false;
    object->callMethod("UpdateProperties").onInterface(kMockInterface).withArguments(interface, properties);
    return true;
  } catch (const sdbus::Error&) {
    return false;
  }
}

bool BluezWorld::removeAdapter() {
  try {
    auto* root = bluezMock("/");
    if (!root) return false;
    root->callMethod("RemoveAdapterWithDevices").onInterface("org.bluez.Mock").withArguments("hci0");
    return true;
  } catch (const sdbus::Error&) {
    return false;
  }
}

bool BluezWorld::killBus() {
  if (daemon_.pid <= 0) return false;
  control_.reset();
  proxies_.clear();
  busDriver_.reset();
  connection_.reset();
  ::kill(daemon_.pid, SIGKILL);
  return reap(daemon_, 3);
}

bool BluezWorld::vehicleExited(double seconds) { return reap(vehicle_, seconds); }

namespace {

template <typename... Args>
bool callControl(sdbus::IProxy* control, const char* method, Args&&... args) {
  if (!control) return false;
  try {
    control->callMethod(method).onInterface(kFixtureInterface).withArguments(std::forward<Args>(args)...);
    return true;
  } catch (const sdbus::Error&) {
    return false;
  }
}

}  // namespace

bool BluezWorld::failNextConnects(std::uint32_t count) { return callControl(vehicleControl(), "FailNextConnects", count); }
bool BluezWorld::dropLink() { return callControl(vehicleControl(), "DropLink"); }
bool BluezWorld::removeDevice() { return callControl(vehicleControl(), "RemoveDevice"); }
bool BluezWorld::setSilent(bool silent) { return callControl(vehicleControl(), "SetSilent", silent); }
bool BluezWorld::setName(const std::string& name) { return callControl(vehicleControl(), "SetName", name); }

bool BluezWorld::removeCharacteristic(const platform::ble::Uuid& uuid) {
  auto* control = vehicleControl();
  if (!control) return false;
  try {
    bool removed = false;
    control->callMethod("RemoveCharacteristic").onInterface(kFixtureInterface).withArguments(uuid.fullString())
        .storeResultsTo(removed);
    return removed;
  } catch (const sdbus::Error&) {
    return false;
  }
}

std::uint32_t BluezWorld::valueStorm(std::uint32_t count, std::uint32_t length) {
  auto* control = vehicleControl();
  if (!control) return 0;
  try {
    std::uint32_t sent = 0;
    control->callMethod("ValueStorm").onInterface(kFixtureInterface).withArguments(count, length).storeResultsTo(sent);
    return sent;
  } catch (const sdbus::Error&) {
    return 0;
  }
}

std::optional<std::string> BluezWorld::setNameBytes(const std::string& bytes) {
  auto* control = vehicleControl();
  if (!control) return std::nullopt;
  try {
    std::string name;
    control->callMethod("SetNameBytes").onInterface(kFixtureInterface)
        .withArguments(std::vector<std::uint8_t>(bytes.begin(), bytes.end())).storeResultsTo(name);
    return name;
  } catch (const sdbus::Error&) {
    return std::nullopt;
  }
}

std::optional<BluezWorld::VehicleStats> BluezWorld::vehicleStats() {
  auto* control = vehicleControl();
  if (!control) return std::nullopt;
  std::map<std::string, sdbus::Variant> raw;
  try {
    control->callMethod("Stats").onInterface(kFixtureInterface).storeResultsTo(raw);
  } catch (const sdbus::Error&) {
    return std::nullopt;
  }
  VehicleStats stats;
  stats.acceptedFrames = valueOr<std::uint64_t>(raw, "AcceptedFrames", 0);
  stats.rejectedFrames = valueOr<std::uint64_t>(raw, "RejectedFrames", 0);
  stats.stateFrames = valueOr<std::uint64_t>(raw, "StateFrames", 0);
  stats.connections = valueOr<std::uint64_t>(raw, "Connections", 0);
  stats.advertisements = valueOr<std::uint32_t>(raw, "Advertisements", 0);
  stats.controlGranted = valueOr<bool>(raw, "ControlGranted", false);
  stats.watchdogBraking = valueOr<bool>(raw, "WatchdogBraking", false);
  stats.linked = valueOr<bool>(raw, "Linked", false);
  stats.speed = valueOr<double>(raw, "Speed", 0);
  stats.devicePath = valueOr<sdbus::ObjectPath>(raw, "DevicePath", sdbus::ObjectPath("/"));
  stats.lastFrame = valueOr<std::vector<std::uint8_t>>(raw, "LastFrame", {});
  return stats;
}

std::optional<std::vector<std::int64_t>> BluezWorld::takeWriteArrivals() {
  auto* control = vehicleControl();
  if (!control) return std::nullopt;
  std::vector<std::int64_t> arrivals;
  try {
    control->callMethod("TakeWriteArrivals").onInterface(kFixtureInterface).storeResultsTo(arrivals);
  } catch (const sdbus::Error&) {
    return std::nullopt;
  }
  return arrivals;
}

}  // namespace lumo::test
