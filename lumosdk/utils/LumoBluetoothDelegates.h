#pragma once

#include <memory>
#include <vector>

#include "lumosdk/LumoExport.h"
#include "lumosdk/utils/LumoBluetoothTypes.h"
#include "platform/ble/BleTypes.h"
#include "platform/ble/Peripheral.h"

namespace lumo {

// The seven single-operation listeners of LumoBluetoothManager. The manager holds each one
// weakly and calls it on the main thread, inside the event that caused it.

/// Told of each advertisement seen while LumoBluetoothManager scans. Main thread.
class LUMO_EXPORT LumoBluetoothScanResultDelegate {
 public:
  /// Delegates are destroyed by their owner; the manager only holds them weakly.
  virtual ~LumoBluetoothScanResultDelegate() = default;
  /// A peripheral advertised, with its signal strength in dBm and advertisement data (the local
  /// name under platform::ble::kAdvertisementLocalName); repeats arrive as the peripheral advertises.
  virtual void onScanResult(const std::shared_ptr<platform::ble::Peripheral>& peripheral, int rssi,
                            const platform::ble::AdvertisementData& advertisementData) = 0;
};

/// Told of each connection state change. Main thread.
class LUMO_EXPORT LumoBluetoothConnectionStateDelegate {
 public:
  /// Destroyed by its owner.
  virtual ~LumoBluetoothConnectionStateDelegate() = default;
  /// The peripheral's state changed to `state`.
  virtual void onConnectionStateChange(const std::shared_ptr<platform::ble::Peripheral>& peripheral,
                                       LumoBluetoothConnectionState state) = 0;
};

/// Told once discovery of a peripheral's services and characteristics has finished. Main thread.
class LUMO_EXPORT LumoBluetoothServicesDiscoveredDelegate {
 public:
  /// Destroyed by its owner.
  virtual ~LumoBluetoothServicesDiscoveredDelegate() = default;
  /// The peripheral's services, with their characteristics discovered; notifications are on.
  virtual void onServicesDiscovered(const std::shared_ptr<platform::ble::Peripheral>& peripheral,
                                    const std::vector<std::shared_ptr<platform::ble::Service>>& services) = 0;
};

/// Told of each value a characteristic notified or a read returned. Main thread.
class LUMO_EXPORT LumoBluetoothDataReceivedDelegate {
 public:
  /// Destroyed by its owner.
  virtual ~LumoBluetoothDataReceivedDelegate() = default;
  /// `value` arrived from the characteristic `characteristicUuid` of the peripheral.
  virtual void onDataReceived(const std::shared_ptr<platform::ble::Peripheral>& peripheral,
                              const platform::ble::Uuid& characteristicUuid, const platform::Bytes& value) = 0;
};

/// Told when a scan ended by itself: after 15 s, or because the adapter stopped. Main thread.
class LUMO_EXPORT LumoBluetoothScanTimeoutDelegate {
 public:
  /// Destroyed by its owner.
  virtual ~LumoBluetoothScanTimeoutDelegate() = default;
  /// The scan has ended without stopScan().
  virtual void onScanTimeout() = 0;
};

/// Told when a connection attempt was cancelled after 10 s without a link. Main thread.
class LUMO_EXPORT LumoBluetoothConnectionTimeoutDelegate {
 public:
  /// Destroyed by its owner.
  virtual ~LumoBluetoothConnectionTimeoutDelegate() = default;
  /// The attempt to connect the peripheral has been given up; its state is "disconnected".
  virtual void onConnectionTimeout(const std::shared_ptr<platform::ble::Peripheral>& peripheral) = 0;
};

/// Told of a link's maximum write length. Main thread.
class LUMO_EXPORT LumoBluetoothMtuChangedDelegate {
 public:
  /// Destroyed by its owner.
  virtual ~LumoBluetoothMtuChangedDelegate() = default;
  /// The link to the peripheral, just connected, has the ATT MTU `mtu` (its maximum write length
  /// plus the 3-byte header); `success` is true.
  virtual void onMtuChanged(const std::shared_ptr<platform::ble::Peripheral>& peripheral, int mtu, bool success) = 0;
};

}  // namespace lumo
