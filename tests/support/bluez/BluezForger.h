#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/foundation/Bytes.h"

namespace lumo::test {

// Another program on the same bus that pretends to be BlueZ or the bus itself: it emits
// signals under their paths and interfaces from its own connection, both as broadcasts and
// addressed to every other connection of this process (whose unique names anyone can list).
// Needs a ready BluezWorld (DBUS_SYSTEM_BUS_ADDRESS set). Never throws; false on failure.
class BluezForger {
 public:
  BluezForger();
  ~BluezForger();
  BluezForger(const BluezForger&) = delete;
  BluezForger& operator=(const BluezForger&) = delete;

  bool ready() const { return connection_ != nullptr; }
  std::string uniqueName() const;

  // A characteristic's Value changed.
  bool forgeValue(const std::string& characteristicPath, const platform::Bytes& value);
  // An adapter (re)appeared with the given power.
  bool forgeAdapterAdded(const std::string& adapterPath, bool powered);
  // An object lost an interface (a device went away).
  bool forgeInterfacesRemoved(const std::string& path, const std::vector<std::string>& interfaces);
  // org.bluez changed hands: its owner left (newOwner empty) or someone took it over.
  bool forgeNameOwnerChanged(const std::string& oldOwner, const std::string& newOwner);

  // The unique names of this process's other connections, found by asking the bus.
  std::vector<std::string> targets();

 private:
  // Emits the signal as built by `fill` once broadcast and once to each target.
  bool emit(const std::string& path, const std::string& interface, const std::string& member,
            const std::function<void(sdbus::Signal&)>& fill);

  std::unique_ptr<sdbus::IConnection> connection_;
  std::map<std::string, std::unique_ptr<sdbus::IObject>> objects_;
};

}  // namespace lumo::test
