#pragma once

#include <cstddef>
#include <memory>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"

namespace platform::ble {

class Peripheral;
class Service;
class Characteristic;

// The work behind a Peripheral handle, one per (central, remote device).
//
// Notes for implementers:
// - Calls come from the main thread only, through the Peripheral handle, which passes
//   itself so results can be attached to it.
// - Operations that need a link may arrive while there is none: ignore them (the platform
//   does nothing observable), never throw.
// - Results reach the handle's delegate on the main queue, in the order the operations were
//   asked for, never synchronously inside the call that asked.
// - Discovery results are attached to the handle (Peripheral::setServices,
//   Service::setCharacteristics) before the delegate hears of them; a value is stored in
//   the Characteristic before didUpdateValue.
class LUMO_PLATFORM_EXPORT PeripheralBackend {
 public:
  virtual ~PeripheralBackend() = default;
  virtual PeripheralState state() const = 0;
  virtual void discoverServices(Peripheral& peripheral) = 0;
  virtual void discoverCharacteristics(Peripheral& peripheral, Service& service) = 0;
  virtual void readValue(Peripheral& peripheral, Characteristic& characteristic) = 0;
  virtual void setNotifyValue(Peripheral& peripheral, bool enabled, Characteristic& characteristic) = 0;
  virtual void writeValue(Peripheral& peripheral, const Bytes& data, Characteristic& characteristic,
                          WriteType type) = 0;
  virtual std::size_t maximumWriteValueLength(WriteType type) const = 0;
  virtual bool canSendWriteWithoutResponse() const = 0;
};

}  // namespace platform::ble
