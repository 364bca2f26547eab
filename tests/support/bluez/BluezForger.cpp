#include "tests/support/bluez/BluezForger.h"

#include <unistd.h>

namespace lumo::test {

namespace {
constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
using Properties = std::map<std::string, sdbus::Variant>;
}  // namespace

BluezForger::BluezForger() {
  try {
    connection_ = sdbus::createSystemBusConnection();
  } catch (const sdbus::Error&) {
    connection_.reset();
  }
}

BluezForger::~BluezForger() {
  objects_.clear();
  connection_.reset();
}

std::string BluezForger::uniqueName() const {
  try {
    return connection_ ? connection_->getUniqueName() : std::string();
  } catch (const sdbus::Error&) {
    return {};
  }
}

std::vector<std::string> BluezForger::targets() {
  std::vector<std::string> found;
  if (!connection_) return found;
  try {
    auto driver = sdbus::createProxy(*connection_, kBusName, kBusPath);
    std::vector<std::string> names;
    driver->callMethod("ListNames").onInterface(kBusName).storeResultsTo(names);
    const std::string self = uniqueName();
    for (const auto& name : names) {
      if (name.empty() || name[0] != ':' || name == self) continue;
      std::uint32_t pid = 0;
      try {
        driver->callMethod("GetConnectionUnixProcessID").onInterface(kBusName).withArguments(name).storeResultsTo(pid);
      } catch (const sdbus::Error&) {
        continue;  // gone meanwhile
      }
      if (pid == static_cast<std::uint32_t>(::getpid())) found.push_back(name);
    }
  } catch (const sdbus::Error&) {
  }
  return found;
}

bool BluezForger::emit(const std::string& path, const std::string& interface, const std::string& member,
                       const std::function<void(sdbus::Signal&)>& fill) {
  if (!connection_) return false;
  try {
    auto& object = objects_[path];
    if (!object) object = sdbus::createObject(*connection_, path);
    std::vector<std::string> destinations = targets();
    destinations.insert(destinations.begin(), std::string());  // the broadcast first
    for (const auto& destination : destinations) {
      auto signal = object->createSignal(interface, member);
      if (!destination.empty()) signal.setDestination(destination);
      fill(signal);
      object->emitSignal(signal);
    }
    return true;
  } catch (const sdbus::Error&) {
    return false;
  }
}

bool BluezForger::forgeValue(const std::string& characteristicPath, const platform::Bytes& value) {
  return emit(characteristicPath, "org.freedesktop.DBus.Properties", "PropertiesChanged", [&](sdbus::Signal& signal) {
    Properties changed{{"Value", sdbus::Variant(value)}};
    signal << std::string("org.bluez.GattCharacteristic1") << changed << std::vector<std::string>{};
  });
}

bool BluezForger::forgeAdapterAdded(const std::string& adapterPath, bool powered) {
  return emit("/", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded", [&](sdbus::Signal& signal) {
    Properties adapter{{"Address", sdbus::Variant(std::string("00:00:00:00:00:99"))},
                       {"Name", sdbus::Variant(std::string("forged"))},
                       {"Powered", sdbus::Variant(powered)},
                       {"Discovering", sdbus::Variant(false)}};
    std::map<std::string, Properties> interfaces{{"org.bluez.Adapter1", adapter}};
    signal << sdbus::ObjectPath(adapterPath) << interfaces;
  });
}

bool BluezForger::forgeInterfacesRemoved(const std::string& path, const std::vector<std::string>& interfaces) {
  return emit("/", "org.freedesktop.DBus.ObjectManager", "InterfacesRemoved", [&](sdbus::Signal& signal) {
    signal << sdbus::ObjectPath(path) << interfaces;
  });
}

bool BluezForger::forgeNameOwnerChanged(const std::string& oldOwner, const std::string& newOwner) {
  return emit(kBusPath, kBusName, "NameOwnerChanged", [&](sdbus::Signal& signal) {
    signal << std::string("org.bluez") << oldOwner << newOwner;
  });
}

}  // namespace lumo::test
