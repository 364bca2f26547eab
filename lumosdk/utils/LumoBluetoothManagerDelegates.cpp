// The manager's delegate properties and the views of its maps that tests use.

#include "lumosdk/utils/LumoBluetoothManager.h"
#include "lumosdk/utils/LumoBluetoothManagerFields.h"

namespace lumo {

std::vector<std::string> LumoBluetoothManager::mapsHoldingForTesting(const std::string& key) const {
  std::vector<std::string> names;
  auto check = [&](const char* name, const auto& map) {
    if (map.count(key)) names.emplace_back(name);
  };
  check("knownPeripherals", fields_->knownPeripherals);
  check("currentlyConnectingPeripherals", fields_->currentlyConnectingPeripherals);
  check("connectedPeripherals", fields_->connectedPeripherals);
  check("deviceConnectionStates", fields_->deviceConnectionStates);
  check("connectionTimers", fields_->connectionTimers);
  check("servicesCache", fields_->servicesCache);
  check("writeQueues", fields_->writeQueues);
  check("writeBuffer", fields_->writeBuffer);
  check("batchTimers", fields_->batchTimers);
  return names;
}

std::size_t LumoBluetoothManager::queuedWritesForTesting(const std::string& key) const {
  auto it = fields_->writeQueues.find(key);
  return it == fields_->writeQueues.end() ? 0 : it->second.size();
}

#define LUMO_DELEGATE_ACCESSORS(Type, name, Name)                                        \
  std::shared_ptr<Type> LumoBluetoothManager::name() const { return fields_->name.lock(); } \
  void LumoBluetoothManager::set##Name(std::weak_ptr<Type> delegate) { fields_->name = std::move(delegate); }

LUMO_DELEGATE_ACCESSORS(LumoBluetoothScanResultDelegate, scanResultDelegate, ScanResultDelegate)
LUMO_DELEGATE_ACCESSORS(LumoBluetoothConnectionStateDelegate, connectionStateDelegate, ConnectionStateDelegate)
LUMO_DELEGATE_ACCESSORS(LumoBluetoothServicesDiscoveredDelegate, servicesDiscoveredDelegate, ServicesDiscoveredDelegate)
LUMO_DELEGATE_ACCESSORS(LumoBluetoothDataReceivedDelegate, dataReceivedDelegate, DataReceivedDelegate)
LUMO_DELEGATE_ACCESSORS(LumoBluetoothScanTimeoutDelegate, scanTimeoutDelegate, ScanTimeoutDelegate)
LUMO_DELEGATE_ACCESSORS(LumoBluetoothConnectionTimeoutDelegate, connectionTimeoutDelegate, ConnectionTimeoutDelegate)
LUMO_DELEGATE_ACCESSORS(LumoBluetoothMtuChangedDelegate, mtuChangedDelegate, MtuChangedDelegate)

#undef LUMO_DELEGATE_ACCESSORS

}  // namespace lumo
