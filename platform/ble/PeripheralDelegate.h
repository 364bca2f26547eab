#pragma once

#include <optional>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"

namespace platform::ble {

class Peripheral;
class Service;
class Characteristic;

// CBPeripheralDelegate. Every call arrives on the main queue; all have empty defaults.
class LUMO_PLATFORM_EXPORT PeripheralDelegate {
 public:
  virtual ~PeripheralDelegate() = default;
  virtual void didDiscoverServices(Peripheral&, const std::optional<Error>&) {}
  virtual void didDiscoverCharacteristics(Peripheral&, Service&, const std::optional<Error>&) {}
  virtual void didUpdateValue(Peripheral&, Characteristic&, const std::optional<Error>&) {}
  virtual void didUpdateNotificationState(Peripheral&, Characteristic&, const std::optional<Error>&) {}
  virtual void didWriteValue(Peripheral&, Characteristic&, const std::optional<Error>&) {}
  virtual void isReadyToSendWriteWithoutResponse(Peripheral&) {}
};

}  // namespace platform::ble
