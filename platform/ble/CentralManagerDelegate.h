#pragma once

#include <optional>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"

namespace platform::ble {

class CentralManager;
class Peripheral;

// CBCentralManagerDelegate. Every call arrives on the main queue.
class LUMO_PLATFORM_EXPORT CentralManagerDelegate {
 public:
  virtual ~CentralManagerDelegate() = default;
  virtual void centralManagerDidUpdateState(CentralManager& central) = 0;
  virtual void didDiscover(CentralManager&, Peripheral&, const AdvertisementData&, int /*rssi*/) {}
  virtual void didConnect(CentralManager&, Peripheral&) {}
  virtual void didFailToConnect(CentralManager&, Peripheral&, const std::optional<Error>&) {}
  virtual void didDisconnectPeripheral(CentralManager&, Peripheral&, const std::optional<Error>&) {}
};

}  // namespace platform::ble
