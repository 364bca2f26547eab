#pragma once

// Private to the manager: the object the platform central and peripherals call back.

#include <memory>

#include "lumosdk/utils/LumoBluetoothManager.h"
#include "platform/ble/CentralManagerDelegate.h"
#include "platform/ble/PeripheralDelegate.h"

namespace lumo {

class LumoBluetoothManagerBridge final : public platform::ble::CentralManagerDelegate,
                                         public platform::ble::PeripheralDelegate {
 public:
  explicit LumoBluetoothManagerBridge(std::weak_ptr<LumoBluetoothManager> manager) : manager_(std::move(manager)) {}

  void centralManagerDidUpdateState(platform::ble::CentralManager&) override;
  void didDiscover(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral,
                   const platform::ble::AdvertisementData& data, int rssi) override;
  void didConnect(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral) override;
  void didFailToConnect(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral,
                        const std::optional<platform::ble::Error>& error) override;
  void didDisconnectPeripheral(platform::ble::CentralManager&, platform::ble::Peripheral& peripheral,
                               const std::optional<platform::ble::Error>& error) override;

  void didDiscoverServices(platform::ble::Peripheral& peripheral, const std::optional<platform::ble::Error>& error) override;
  void didDiscoverCharacteristics(platform::ble::Peripheral& peripheral, platform::ble::Service& service,
                                  const std::optional<platform::ble::Error>& error) override;
  void didUpdateValue(platform::ble::Peripheral& peripheral, platform::ble::Characteristic& characteristic,
                      const std::optional<platform::ble::Error>& error) override;
  void didUpdateNotificationState(platform::ble::Peripheral&, platform::ble::Characteristic&,
                                  const std::optional<platform::ble::Error>& error) override;
  void didWriteValue(platform::ble::Peripheral&, platform::ble::Characteristic&,
                     const std::optional<platform::ble::Error>& error) override;
  void isReadyToSendWriteWithoutResponse(platform::ble::Peripheral& peripheral) override;

 private:
  std::weak_ptr<LumoBluetoothManager> manager_;
};

}  // namespace lumo
