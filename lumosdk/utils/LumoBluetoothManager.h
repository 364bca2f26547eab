#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lumosdk/LumoExport.h"
#include "lumosdk/utils/LumoBluetoothDelegates.h"
#include "lumosdk/utils/LumoBluetoothTypes.h"
#include "platform/ble/CentralManager.h"
#include "platform/ble/Peripheral.h"

namespace lumo {

class LumoBluetoothManagerBridge;

// The SDK's one Bluetooth LE central: scans, connects, discovers, keeps per-peripheral caches
// and timers, and reports every event to its seven delegates. It knows nothing about vehicles.
// Writes without response are coalesced for 10 ms, split to the link's maximum write length
// and queued under the platform's flow control. Main thread only; diagnostics go to the
// console with the prefix "LUMOSDK_BluetoothManager: ".
class LUMO_EXPORT LumoBluetoothManager : public std::enable_shared_from_this<LumoBluetoothManager> {
 public:
  using PeripheralPtr = std::shared_ptr<platform::ble::Peripheral>;

  static std::shared_ptr<LumoBluetoothManager> getInstance();
  ~LumoBluetoothManager();
  LumoBluetoothManager(const LumoBluetoothManager&) = delete;
  LumoBluetoothManager& operator=(const LumoBluetoothManager&) = delete;

  bool isBluetoothEnabled() const;
  LumoBluetoothAdapterState getAdapterState() const;
  bool startScan();
  void stopScan();
  // `autoConnect` is accepted for compatibility and has no effect.
  bool connect(const PeripheralPtr& peripheral, bool autoConnect);
  void disconnect(const PeripheralPtr& peripheral);
  void disconnectAll();
  void discoverServices(const PeripheralPtr& peripheral);
  bool writeCharacteristic(const PeripheralPtr& peripheral, const platform::ble::Uuid& serviceUuid,
                           const platform::ble::Uuid& characteristicUuid, const platform::Bytes& value,
                           bool withoutResponse);
  bool readCharacteristic(const PeripheralPtr& peripheral, const platform::ble::Uuid& serviceUuid,
                          const platform::ble::Uuid& characteristicUuid);
  bool setCharacteristicNotification(const PeripheralPtr& peripheral, const platform::ble::Uuid& serviceUuid,
                                     const platform::ble::Uuid& characteristicUuid, bool enable);
  bool isConnected(const PeripheralPtr& peripheral) const;
  std::vector<std::shared_ptr<platform::ble::Service>> getServices(const PeripheralPtr& peripheral) const;
  void close();

  // Delegates, held weakly: the registrant keeps its own strong reference.
  std::shared_ptr<LumoBluetoothScanResultDelegate> scanResultDelegate() const;
  void setScanResultDelegate(std::weak_ptr<LumoBluetoothScanResultDelegate> delegate);
  std::shared_ptr<LumoBluetoothConnectionStateDelegate> connectionStateDelegate() const;
  void setConnectionStateDelegate(std::weak_ptr<LumoBluetoothConnectionStateDelegate> delegate);
  std::shared_ptr<LumoBluetoothServicesDiscoveredDelegate> servicesDiscoveredDelegate() const;
  void setServicesDiscoveredDelegate(std::weak_ptr<LumoBluetoothServicesDiscoveredDelegate> delegate);
  std::shared_ptr<LumoBluetoothDataReceivedDelegate> dataReceivedDelegate() const;
  void setDataReceivedDelegate(std::weak_ptr<LumoBluetoothDataReceivedDelegate> delegate);
  std::shared_ptr<LumoBluetoothScanTimeoutDelegate> scanTimeoutDelegate() const;
  void setScanTimeoutDelegate(std::weak_ptr<LumoBluetoothScanTimeoutDelegate> delegate);
  std::shared_ptr<LumoBluetoothConnectionTimeoutDelegate> connectionTimeoutDelegate() const;
  void setConnectionTimeoutDelegate(std::weak_ptr<LumoBluetoothConnectionTimeoutDelegate> delegate);
  std::shared_ptr<LumoBluetoothMtuChangedDelegate> mtuChangedDelegate() const;
  void setMtuChangedDelegate(std::weak_ptr<LumoBluetoothMtuChangedDelegate> delegate);

  bool isScanning() const;
  // The state last reported for the peripheral, if any.
  std::optional<LumoBluetoothConnectionState> connectionState(const PeripheralPtr& peripheral) const;
  // The map key of a peripheral: its identifier in upper-case text; empty for none.
  static std::string peripheralKey(const PeripheralPtr& peripheral);
  // Names of the per-peripheral maps that hold an entry under `key` (for checks of clean-up).
  std::vector<std::string> mapsHoldingForTesting(const std::string& key) const;
  std::size_t queuedWritesForTesting(const std::string& key) const;

  struct Fields;

 private:
  friend class LumoBluetoothManagerBridge;
  LumoBluetoothManager();
  void setUp();

  // Platform events.
  void centralStateChanged();
  void discovered(const PeripheralPtr& peripheral, const platform::ble::AdvertisementData& data, int rssi);
  void connected(const PeripheralPtr& peripheral);
  void failedToConnect(const PeripheralPtr& peripheral, const std::optional<platform::ble::Error>& error);
  void disconnected(const PeripheralPtr& peripheral, const std::optional<platform::ble::Error>& error);
  void servicesFound(const PeripheralPtr& peripheral, const std::optional<platform::ble::Error>& error);
  void characteristicsFound(const PeripheralPtr& peripheral, platform::ble::Service& service,
                            const std::optional<platform::ble::Error>& error);
  void valueUpdated(const PeripheralPtr& peripheral, platform::ble::Characteristic& characteristic,
                    const std::optional<platform::ble::Error>& error);
  void notificationStateUpdated(const std::optional<platform::ble::Error>& error);
  void writeFinished(const std::optional<platform::ble::Error>& error);
  void readyToSend(const PeripheralPtr& peripheral);

  void scanTimeout();
  void connectionTimeout(const std::string& key);
  void updateConnectionState(const PeripheralPtr& peripheral, LumoBluetoothConnectionState state);
  void cleanupConnection(const PeripheralPtr& peripheral, bool isFinal);
  std::shared_ptr<platform::ble::Characteristic> cachedCharacteristic(const std::string& key,
                                                                      const platform::ble::Uuid& serviceUuid,
                                                                      const platform::ble::Uuid& characteristicUuid) const;

  // Write path.
  void flushWriteBuffer(const std::string& key, const std::shared_ptr<platform::ble::Characteristic>& characteristic);
  void enqueueWriteRequest(const platform::Bytes& data, const std::shared_ptr<platform::ble::Characteristic>& characteristic,
                           const PeripheralPtr& peripheral);
  void processWriteQueue(const PeripheralPtr& peripheral);

  std::unique_ptr<Fields> fields_;
};

}  // namespace lumo
