#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"
#include "platform/ble/PeripheralBackend.h"
#include "platform/ble/PeripheralDelegate.h"
#include "platform/ble/Service.h"
#include "platform/ble/Uuid.h"

namespace platform::ble {

// CBPeripheral: a remote device as one central sees it. A thin handle; the back-end does the
// work and delivers results to the delegate (held weakly) on the main queue.
class LUMO_PLATFORM_EXPORT Peripheral : public std::enable_shared_from_this<Peripheral> {
 public:
  Peripheral(Uuid identifier, std::shared_ptr<PeripheralBackend> backend);

  const Uuid& identifier() const { return identifier_; }
  const std::optional<std::string>& name() const { return name_; }
  PeripheralState state() const;
  const std::optional<std::vector<std::shared_ptr<Service>>>& services() const { return services_; }

  std::shared_ptr<PeripheralDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<PeripheralDelegate> delegate) { delegate_ = std::move(delegate); }

  // No UUID filter: every service, every characteristic.
  void discoverServices();
  void discoverCharacteristics(Service& service);
  void readValue(Characteristic& characteristic);
  void setNotifyValue(bool enabled, Characteristic& characteristic);
  void writeValue(const Bytes& data, Characteristic& characteristic, WriteType type);
  std::size_t maximumWriteValueLength(WriteType type) const;
  bool canSendWriteWithoutResponse() const;

  // For back-ends.
  void setName(std::optional<std::string> name) { name_ = std::move(name); }
  void setServices(std::vector<std::shared_ptr<Service>> services) { services_ = std::move(services); }

 private:
  Uuid identifier_;
  std::shared_ptr<PeripheralBackend> backend_;
  std::optional<std::string> name_;
  std::optional<std::vector<std::shared_ptr<Service>>> services_;
  std::weak_ptr<PeripheralDelegate> delegate_;
};

}  // namespace platform::ble
