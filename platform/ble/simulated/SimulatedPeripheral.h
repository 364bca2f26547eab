#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"
#include "platform/ble/Uuid.h"
#include "platform/dispatch/Clock.h"

namespace platform::ble {

class SimulatedRadio;

// A remote device in the simulated world: what it advertises, its GATT database, its link
// parameters and hooks for the device's own behaviour (the vehicle simulator is one).
// Lives on the main thread like the rest of the simulated radio.
class LUMO_PLATFORM_EXPORT SimulatedPeripheral : public std::enable_shared_from_this<SimulatedPeripheral> {
 public:
  struct CharacteristicDefinition {
    Uuid uuid;
    std::uint8_t properties = 0;
    Bytes value;
  };
  struct ServiceDefinition {
    Uuid uuid;
    std::vector<CharacteristicDefinition> characteristics;
  };
  using WriteHandler = std::function<void(const Uuid& characteristic, const Bytes& data, WriteType type)>;
  using LinkHandler = std::function<void(bool connected)>;
  using NotifyTap = std::function<void(const Uuid& characteristic, const Bytes& value)>;

  // A name of std::nullopt advertises no name at all (a nameless device).
  explicit SimulatedPeripheral(std::optional<std::string> name);

  // Given by the radio when the device is added; null before.
  const Uuid& identifier() const { return identifier_; }
  const std::optional<std::string>& name() const { return name_; }
  void setName(std::optional<std::string> name) { name_ = std::move(name); }
  int rssi() const { return rssi_; }
  void setRssi(int rssi) { rssi_ = rssi; }
  dispatch::Seconds advertisingInterval() const { return advertisingInterval_; }
  // Takes effect at the next scan.
  void setAdvertisingInterval(dispatch::Seconds interval) { advertisingInterval_ = interval; }

  void addService(ServiceDefinition service) { services_.push_back(std::move(service)); }
  const std::vector<ServiceDefinition>& services() const { return services_; }
  // The value a read returns from now on.
  void setValue(const Uuid& characteristic, Bytes value);
  std::optional<Bytes> value(const Uuid& characteristic) const;

  // Sends a value to every central that subscribed to the characteristic; returns how many.
  std::size_t notify(const Uuid& characteristic, const Bytes& value);
  // Ends every link to this device as a loss seen by the phones.
  void dropLinks(const std::string& reason = "The connection has timed out unexpectedly.");
  bool isConnected() const;

  void setWriteHandler(WriteHandler handler) { writeHandler_ = std::move(handler); }
  void setLinkHandler(LinkHandler handler) { linkHandler_ = std::move(handler); }
  // Sees every value the device sends, with or without a simulated radio: lets another
  // radio (the mocked BlueZ fixture) carry the same device's notifications.
  void setNotifyTap(NotifyTap tap) { notifyTap_ = std::move(tap); }

  // Largest single write without response; writes with response take up to 512 bytes.
  std::size_t maximumWriteLength() const { return maximumWriteLength_; }
  void setMaximumWriteLength(std::size_t length) { maximumWriteLength_ = length; }
  // Write-without-response flow control: a link starts with `capacity` credits, each write
  // takes one and gives it back `returnDelay` later. Without a delay credits only come back
  // through SimulatedRadio::returnWriteCredits, so a test decides when the link drains.
  void setWriteCredits(int capacity, std::optional<dispatch::Seconds> returnDelay);
  int writeCreditCapacity() const { return creditCapacity_; }
  const std::optional<dispatch::Seconds>& creditReturnDelay() const { return creditReturnDelay_; }

  // Called by the radio.
  void attachToRadio(std::weak_ptr<SimulatedRadio> radio, Uuid identifier);
  void deliverWrite(const Uuid& characteristic, const Bytes& data, WriteType type);
  void linkChanged(bool connected);

 private:
  std::weak_ptr<SimulatedRadio> radio_;
  Uuid identifier_;
  std::optional<std::string> name_;
  int rssi_ = -60;
  dispatch::Seconds advertisingInterval_{0.1};
  std::vector<ServiceDefinition> services_;
  WriteHandler writeHandler_;
  LinkHandler linkHandler_;
  NotifyTap notifyTap_;
  std::size_t maximumWriteLength_ = 182;
  int creditCapacity_ = 8;
  std::optional<dispatch::Seconds> creditReturnDelay_ = dispatch::Seconds(0.0075);
};

}  // namespace platform::ble
