#include "lumosdk/utils/LumoBluetoothManagerBridge.h"

namespace lumo {

using platform::ble::Characteristic;
using platform::ble::Error;
using platform::ble::Peripheral;
using platform::ble::Service;

void LumoBluetoothManagerBridge::centralManagerDidUpdateState(platform::ble::CentralManager&) {
  if (auto manager = manager_.lock()) manager->centralStateChanged();
}

void LumoBluetoothManagerBridge::didDiscover(platform::ble::CentralManager&, Peripheral& peripheral,
                                             const platform::ble::AdvertisementData& data, int rssi) {
  if (auto manager = manager_.lock()) manager->discovered(peripheral.shared_from_this(), data, rssi);
}

void LumoBluetoothManagerBridge::didConnect(platform::ble::CentralManager&, Peripheral& peripheral) {
  if (auto manager = manager_.lock()) manager->connected(peripheral.shared_from_this());
}

void LumoBluetoothManagerBridge::didFailToConnect(platform::ble::CentralManager&, Peripheral& peripheral,
                                                  const std::optional<Error>& error) {
  if (auto manager = manager_.lock()) manager->failedToConnect(peripheral.shared_from_this(), error);
}

void LumoBluetoothManagerBridge::didDisconnectPeripheral(platform::ble::CentralManager&, Peripheral& peripheral,
                                                         const std::optional<Error>& error) {
  if (auto manager = manager_.lock()) manager->disconnected(peripheral.shared_from_this(), error);
}

void LumoBluetoothManagerBridge::didDiscoverServices(Peripheral& peripheral, const std::optional<Error>& error) {
  if (auto manager = manager_.lock()) manager->servicesFound(peripheral.shared_from_this(), error);
}

void LumoBluetoothManagerBridge::didDiscoverCharacteristics(Peripheral& peripheral, Service& service,
                                                            const std::optional<Error>& error) {
  if (auto manager = manager_.lock()) manager->characteristicsFound(peripheral.shared_from_this(), service, error);
}

void LumoBluetoothManagerBridge::didUpdateValue(Peripheral& peripheral, Characteristic& characteristic,
                                                const std::optional<Error>& error) {
  if (auto manager = manager_.lock()) manager->valueUpdated(peripheral.shared_from_this(), characteristic, error);
}

void LumoBluetoothManagerBridge::didUpdateNotificationState(Peripheral&, Characteristic&,
                                                            const std::optional<Error>& error) {
  if (auto manager = manager_.lock()) manager->notificationStateUpdated(error);
}

void LumoBluetoothManagerBridge::didWriteValue(Peripheral&, Characteristic&, const std::optional<Error>& error) {
  if (auto manager = manager_.lock()) manager->writeFinished(error);
}

void LumoBluetoothManagerBridge::isReadyToSendWriteWithoutResponse(Peripheral& peripheral) {
  if (auto manager = manager_.lock()) manager->readyToSend(peripheral.shared_from_this());
}

}  // namespace lumo
