#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/PlatformExport.h"
#include "platform/ble/Peripheral.h"
#include "platform/ble/PeripheralBackend.h"

namespace platform::ble {

class SimulatedRadio;

// Private to the simulated radio: one central's link to one simulated device. It is the
// back-end of that central's Peripheral handle and carries the GATT traffic.
class LUMO_PLATFORM_EXPORT SimulatedLink final : public PeripheralBackend, public std::enable_shared_from_this<SimulatedLink> {
 public:
  SimulatedLink(std::weak_ptr<SimulatedRadio> radio, Uuid device);

  void setHandle(std::weak_ptr<Peripheral> handle) { handle_ = std::move(handle); }

  PeripheralState state() const override { return state_; }
  void discoverServices(Peripheral& peripheral) override;
  void discoverCharacteristics(Peripheral& peripheral, Service& service) override;
  void readValue(Peripheral& peripheral, Characteristic& characteristic) override;
  void setNotifyValue(Peripheral& peripheral, bool enabled, Characteristic& characteristic) override;
  void writeValue(Peripheral& peripheral, const Bytes& data, Characteristic& characteristic, WriteType type) override;
  std::size_t maximumWriteValueLength(WriteType type) const override;
  bool canSendWriteWithoutResponse() const override;

  // Driven by the owning central. Each change of link invalidates work still scheduled for
  // the previous one.
  std::uint64_t beginConnecting();
  bool isCurrent(std::uint64_t generation) const { return generation == generation_; }
  void establish();
  void end();
  // Returns whether the value went out (the link is up and subscribed).
  bool deliverNotification(const Uuid& characteristic, const Bytes& value);
  void returnCredits(int count);

 private:
  using CharacteristicKey = std::pair<Uuid, Uuid>;  // service, characteristic
  static std::optional<CharacteristicKey> keyOf(const Characteristic& characteristic);
  std::shared_ptr<Characteristic> mirror(const Uuid& characteristic) const;
  void postToDelegate(std::function<void(Peripheral&, PeripheralDelegate&)> call);
  void takeCredit();
  std::string describe() const;

  std::weak_ptr<SimulatedRadio> radio_;
  Uuid device_;
  std::weak_ptr<Peripheral> handle_;
  PeripheralState state_ = PeripheralState::disconnected;
  std::uint64_t generation_ = 0;
  int credits_ = 0;
  std::set<CharacteristicKey> subscriptions_;
};

}  // namespace platform::ble
