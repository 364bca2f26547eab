#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"
#include "platform/ble/Uuid.h"

namespace platform::ble {

class Service;

// CBCharacteristic: a value slot of a discovered service. The mutating members are for
// back-ends, which keep it in step with the remote device.
class LUMO_PLATFORM_EXPORT Characteristic {
 public:
  Characteristic(Uuid uuid, std::uint8_t properties, std::weak_ptr<Service> service)
      : uuid_(uuid), properties_(properties), service_(std::move(service)) {}

  const Uuid& uuid() const { return uuid_; }
  std::uint8_t properties() const { return properties_; }
  bool hasProperty(std::uint8_t bit) const { return (properties_ & bit) != 0; }
  std::shared_ptr<Service> service() const { return service_.lock(); }
  const std::optional<Bytes>& value() const { return value_; }
  bool isNotifying() const { return notifying_; }

  void setValue(Bytes value) { value_ = std::move(value); }
  void setNotifying(bool notifying) { notifying_ = notifying; }

 private:
  Uuid uuid_;
  std::uint8_t properties_;
  std::weak_ptr<Service> service_;
  std::optional<Bytes> value_;
  bool notifying_ = false;
};

}  // namespace platform::ble
