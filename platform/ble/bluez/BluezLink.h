#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/ble/Peripheral.h"
#include "platform/ble/PeripheralBackend.h"

namespace platform::ble {

class BluezCentral;

// Private to the BlueZ back-end: one central's link to one org.bluez device, the back-end of
// that device's Peripheral handle. GATT operations become calls on the device's
// GattService1/GattCharacteristic1 objects; their replies come back on the main queue.
class BluezLink final : public PeripheralBackend, public std::enable_shared_from_this<BluezLink> {
 public:
  // Writes without response still unanswered by BlueZ; at this many the link says it cannot
  // send and a further write is dropped, as the phone drops one made without a credit.
  static constexpr int kMaxOutstandingWrites = 8;
  // The ATT default MTU of 23 less its 3-byte header, used until the link tells a larger one.
  static constexpr std::size_t kDefaultWriteLength = 20;

  BluezLink(std::weak_ptr<BluezCentral> central, std::string devicePath);

  void setHandle(std::weak_ptr<Peripheral> handle) { handle_ = std::move(handle); }
  const std::string& devicePath() const { return devicePath_; }

  PeripheralState state() const override { return state_; }
  void discoverServices(Peripheral& peripheral) override;
  void discoverCharacteristics(Peripheral& peripheral, Service& service) override;
  void readValue(Peripheral& peripheral, Characteristic& characteristic) override;
  void setNotifyValue(Peripheral& peripheral, bool enabled, Characteristic& characteristic) override;
  void writeValue(Peripheral& peripheral, const Bytes& data, Characteristic& characteristic, WriteType type) override;
  std::size_t maximumWriteValueLength(WriteType type) const override;
  bool canSendWriteWithoutResponse() const override;

  // Driven by the central. Each change of link invalidates replies still due for the last one.
  std::uint64_t beginConnecting();
  bool isCurrent(std::uint64_t generation) const { return generation == generation_; }
  void establish();
  void end();
  void servicesResolved();
  void valueChanged(const std::string& characteristicPath, const Bytes& value);
  void characteristicRemoved(const std::string& characteristicPath);

 private:
  void deliverServices();
  std::optional<std::string> pathOf(const Characteristic& characteristic) const;
  void postToDelegate(std::function<void(Peripheral&, PeripheralDelegate&)> call);
  void writeAnswered(bool withoutResponse);

  std::weak_ptr<BluezCentral> central_;
  std::string devicePath_;
  std::weak_ptr<Peripheral> handle_;
  PeripheralState state_ = PeripheralState::disconnected;
  std::uint64_t generation_ = 0;
  bool servicesWanted_ = false;
  std::map<std::string, std::shared_ptr<Service>> services_;                 // by object path
  std::map<std::string, std::shared_ptr<Characteristic>> characteristics_;  // by object path
  std::set<std::string> notifying_;
  int outstandingWrites_ = 0;
  std::optional<int> acquiredMtu_;
  bool askedForMtu_ = false;
};

}  // namespace platform::ble
