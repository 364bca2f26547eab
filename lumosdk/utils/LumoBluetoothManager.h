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

/// The SDK's one Bluetooth LE central: scans, connects, discovers, keeps per-peripheral caches
/// and timers, and reports every event to its seven delegates. It knows nothing about vehicles.
/// Writes without response are coalesced for 10 ms, split to the link's maximum write length
/// and queued under the platform's flow control. Main thread only; diagnostics go to the
/// console with the prefix "LUMOSDK_BluetoothManager: ".
class LUMO_EXPORT LumoBluetoothManager : public std::enable_shared_from_this<LumoBluetoothManager> {
 public:
  /// A peripheral of the platform's Bluetooth central.
  using PeripheralPtr = std::shared_ptr<platform::ble::Peripheral>;

  /// The singleton, made with its central manager on first use; close() drops it.
  static std::shared_ptr<LumoBluetoothManager> getInstance();
  /// Releases the central manager and every timer.
  ~LumoBluetoothManager();
  /// Not copyable: there is one manager.
  LumoBluetoothManager(const LumoBluetoothManager&) = delete;
  /// Not assignable.
  LumoBluetoothManager& operator=(const LumoBluetoothManager&) = delete;

  /// Whether the adapter is powered on.
  bool isBluetoothEnabled() const;
  /// The adapter's state as the platform last reported it.
  LumoBluetoothAdapterState getAdapterState() const;
  /// Scans for every advertising peripheral for at most 15 s; each result reaches the scan-result
  /// delegate, the end of the time the scan-timeout delegate. False, with a diagnostic line, when a
  /// scan already runs or the adapter is off (the manager then tries once more after 1 s).
  bool startScan();
  /// Ends the scan and its time-out; nothing when no scan runs.
  void stopScan();
  /// `autoConnect` is accepted for compatibility and has no effect.
  /// Connects, reporting "connecting" then "connected" (or "disconnected") to the connection-state
  /// delegate; after 10 s without a link the attempt is cancelled and the connection-timeout delegate
  /// is told. False, with a diagnostic line, for a null peripheral or one already connected or
  /// connecting.
  bool connect(const PeripheralPtr& peripheral, bool autoConnect);
  /// Cancels the link or the attempt ("disconnecting", then "disconnected"); nothing for a peripheral
  /// that is neither connected nor connecting.
  void disconnect(const PeripheralPtr& peripheral);
  /// Cancels every link and attempt and drops their caches.
  void disconnectAll();
  /// Discovers the services and characteristics of a connected peripheral (nothing otherwise); the
  /// manager subscribes to every notifying characteristic and then tells the services-discovered
  /// delegate.
  void discoverServices(const PeripheralPtr& peripheral);
  /// Writes `value` to a discovered characteristic. With response, at once; without response, bytes
  /// written within 10 ms are sent together, split to the link's maximum write length and queued
  /// under the platform's flow control. False, with a diagnostic line, when the peripheral is not
  /// connected, the characteristic was not discovered or ten writes are already queued.
  bool writeCharacteristic(const PeripheralPtr& peripheral, const platform::ble::Uuid& serviceUuid,
                           const platform::ble::Uuid& characteristicUuid, const platform::Bytes& value,
                           bool withoutResponse);
  /// Reads a discovered characteristic; the value reaches the data-received delegate. False, with a
  /// diagnostic line, when the peripheral is not connected or the characteristic was not discovered.
  bool readCharacteristic(const PeripheralPtr& peripheral, const platform::ble::Uuid& serviceUuid,
                          const platform::ble::Uuid& characteristicUuid);
  /// Turns notifications of a discovered characteristic on or off. False, with a diagnostic line, as
  /// readCharacteristic.
  bool setCharacteristicNotification(const PeripheralPtr& peripheral, const platform::ble::Uuid& serviceUuid,
                                     const platform::ble::Uuid& characteristicUuid, bool enable);
  /// Whether the state last reported for the peripheral is "connected".
  bool isConnected(const PeripheralPtr& peripheral) const;
  /// The discovered services of the peripheral that have characteristics; empty before discovery.
  std::vector<std::shared_ptr<platform::ble::Service>> getServices(const PeripheralPtr& peripheral) const;
  /// Stops scanning, cancels every link and drops the singleton; getInstance() then makes a new one.
  void close();

  /// Delegates, held weakly: the registrant keeps its own strong reference.
  /// The delegate told of each advertisement, or null.
  std::shared_ptr<LumoBluetoothScanResultDelegate> scanResultDelegate() const;
  /// Replaces the scan-result delegate.
  void setScanResultDelegate(std::weak_ptr<LumoBluetoothScanResultDelegate> delegate);
  /// The delegate told of each connection state change, or null.
  std::shared_ptr<LumoBluetoothConnectionStateDelegate> connectionStateDelegate() const;
  /// Replaces the connection-state delegate.
  void setConnectionStateDelegate(std::weak_ptr<LumoBluetoothConnectionStateDelegate> delegate);
  /// The delegate told when discovery has finished, or null.
  std::shared_ptr<LumoBluetoothServicesDiscoveredDelegate> servicesDiscoveredDelegate() const;
  /// Replaces the services-discovered delegate.
  void setServicesDiscoveredDelegate(std::weak_ptr<LumoBluetoothServicesDiscoveredDelegate> delegate);
  /// The delegate told of each notified or read value, or null.
  std::shared_ptr<LumoBluetoothDataReceivedDelegate> dataReceivedDelegate() const;
  /// Replaces the data-received delegate.
  void setDataReceivedDelegate(std::weak_ptr<LumoBluetoothDataReceivedDelegate> delegate);
  /// The delegate told when a scan ends without being stopped, or null.
  std::shared_ptr<LumoBluetoothScanTimeoutDelegate> scanTimeoutDelegate() const;
  /// Replaces the scan-timeout delegate.
  void setScanTimeoutDelegate(std::weak_ptr<LumoBluetoothScanTimeoutDelegate> delegate);
  /// The delegate told when a connection attempt timed out, or null.
  std::shared_ptr<LumoBluetoothConnectionTimeoutDelegate> connectionTimeoutDelegate() const;
  /// Replaces the connection-timeout delegate.
  void setConnectionTimeoutDelegate(std::weak_ptr<LumoBluetoothConnectionTimeoutDelegate> delegate);
  /// The delegate told of the link's write length, or null.
  std::shared_ptr<LumoBluetoothMtuChangedDelegate> mtuChangedDelegate() const;
  /// Replaces the MTU delegate.
  void setMtuChangedDelegate(std::weak_ptr<LumoBluetoothMtuChangedDelegate> delegate);

  /// Whether a scan runs.
  bool isScanning() const;
  /// The state last reported for the peripheral, if any.
  std::optional<LumoBluetoothConnectionState> connectionState(const PeripheralPtr& peripheral) const;
  /// The map key of a peripheral: its identifier in upper-case text; empty for none.
  static std::string peripheralKey(const PeripheralPtr& peripheral);
  /// Names of the per-peripheral maps that hold an entry under `key` (for checks of clean-up).
  std::vector<std::string> mapsHoldingForTesting(const std::string& key) const;
  /// Writes waiting for flow control for the peripheral `key` (tests).
  std::size_t queuedWritesForTesting(const std::string& key) const;

  /// The manager's private state.
  struct Fields;

 private:
  friend class LumoBluetoothManagerBridge;
  LumoBluetoothManager();
  void setUp();

  /// Platform events.
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

  /// Write path.
  void flushWriteBuffer(const std::string& key, const std::shared_ptr<platform::ble::Characteristic>& characteristic);
  void enqueueWriteRequest(const platform::Bytes& data, const std::shared_ptr<platform::ble::Characteristic>& characteristic,
                           const PeripheralPtr& peripheral);
  void processWriteQueue(const PeripheralPtr& peripheral);

  std::unique_ptr<Fields> fields_;
};

}  // namespace lumo
