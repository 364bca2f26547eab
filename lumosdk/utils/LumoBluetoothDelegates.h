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

class LUMO_EXPORT LumoBluetoothScanResultDelegate {
 public:
  virtual ~LumoBluetoothScanResultDelegate() = default;
  virtual void onScanResult(const std::shared_ptr<platform::ble::Peripheral>& peripheral, int rssi,
                            const platform::ble::AdvertisementData& advertisementData) = 0;
};

class LUMO_EXPORT LumoBluetoothConnectionStateDelegate {
 public:
  virtual ~LumoBluetoothConnectionStateDelegate() = default;
  virtual void onConnectionStateChange(const std::shared_ptr<platform::ble::Peripheral>& peripheral,
                                       LumoBluetoothConnectionState state) = 0;
};

class LUMO_EXPORT LumoBluetoothServicesDiscoveredDelegate {
 public:
  virtual ~LumoBluetoothServicesDiscoveredDelegate() = default;
  virtual void onServicesDiscovered(const std::shared_ptr<platform::ble::Peripheral>& peripheral,
                                    const std::vector<std::shared_ptr<platform::ble::Service>>& services) = 0;
};

class LUMO_EXPORT LumoBluetoothDataReceivedDelegate {
 public:
  virtual ~LumoBluetoothDataReceivedDelegate() = default;
  virtual void onDataReceived(const std::shared_ptr<platform::ble::Peripheral>& peripheral,
                              const platform::ble::Uuid& characteristicUuid, const platform::Bytes& value) = 0;
};

class LUMO_EXPORT LumoBluetoothScanTimeoutDelegate {
 public:
  virtual ~LumoBluetoothScanTimeoutDelegate() = default;
  virtual void onScanTimeout() = 0;
};

class LUMO_EXPORT LumoBluetoothConnectionTimeoutDelegate {
 public:
  virtual ~LumoBluetoothConnectionTimeoutDelegate() = default;
  virtual void onConnectionTimeout(const std::shared_ptr<platform::ble::Peripheral>& peripheral) = 0;
};

class LUMO_EXPORT LumoBluetoothMtuChangedDelegate {
 public:
  virtual ~LumoBluetoothMtuChangedDelegate() = default;
  virtual void onMtuChanged(const std::shared_ptr<platform::ble::Peripheral>& peripheral, int mtu, bool success) = 0;
};

}  // namespace lumo
