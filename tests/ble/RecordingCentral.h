#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ble/CentralManager.h"
#include "platform/ble/Radio.h"

namespace lumo::test {

// A phone-side app in miniature: owns a central, records every callback as a line of text
// and keeps the peripherals it was handed.
class RecordingCentral final : public platform::ble::CentralManagerDelegate,
                               public platform::ble::PeripheralDelegate,
                               public std::enable_shared_from_this<RecordingCentral> {
 public:
  static std::shared_ptr<RecordingCentral> make(platform::ble::CentralManagerOptions options = {});

  platform::ble::CentralManager& central() { return *central_; }
  std::shared_ptr<platform::ble::Peripheral> peripheral(const std::string& name) const;
  // Lets go of every peripheral handed so far, as a host that no longer wants them.
  void forgetPeripherals() { seen_.clear(); }
  std::shared_ptr<platform::ble::Characteristic> characteristic(const platform::ble::Uuid& uuid) const;
  std::vector<std::string> events;
  std::vector<platform::Bytes> values;
  std::size_t count(const std::string& prefix) const;

  void centralManagerDidUpdateState(platform::ble::CentralManager& central) override;
  void didDiscover(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral,
                   const platform::ble::AdvertisementData& data, int rssi) override;
  void didConnect(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral) override;
  void didFailToConnect(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral,
                        const std::optional<platform::ble::Error>& error) override;
  void didDisconnectPeripheral(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral,
                               const std::optional<platform::ble::Error>& error) override;
  void didDiscoverServices(platform::ble::Peripheral& peripheral, const std::optional<platform::ble::Error>&) override;
  void didDiscoverCharacteristics(platform::ble::Peripheral&, platform::ble::Service& service,
                                  const std::optional<platform::ble::Error>&) override;
  void didUpdateValue(platform::ble::Peripheral&, platform::ble::Characteristic& characteristic,
                      const std::optional<platform::ble::Error>& error) override;
  void didUpdateNotificationState(platform::ble::Peripheral&, platform::ble::Characteristic& characteristic,
                                  const std::optional<platform::ble::Error>& error) override;
  void didWriteValue(platform::ble::Peripheral&, platform::ble::Characteristic&,
                     const std::optional<platform::ble::Error>& error) override;
  void isReadyToSendWriteWithoutResponse(platform::ble::Peripheral&) override;

 private:
  std::shared_ptr<platform::ble::CentralManager> central_;
  std::vector<std::shared_ptr<platform::ble::Peripheral>> seen_;
};

}  // namespace lumo::test
