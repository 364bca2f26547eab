#pragma once

// Private to the vehicle link's source files: its class-level fields.

#include <memory>

#include "lumosdk/utils/BluetoothStateManager.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/LumoBluetoothDelegates.h"
#include "lumosdk/utils/LumoBluetoothManager.h"

namespace lumo::link {

struct LinkState {
  std::shared_ptr<BluetoothStateManager> bluetoothStateManager;
  std::shared_ptr<LumoBluetoothManager> bluetoothManager;
  std::shared_ptr<platform::ble::Peripheral> bluetoothDevice;
  std::optional<std::vector<std::shared_ptr<platform::ble::Service>>> services;
  std::string slaverDeviceName = "bluetoothDeviceName";
  std::int64_t slaveVehicleId = -1;
  platform::Bytes lastData;
  ConnectState currState = ConnectState::idle;
  std::optional<LumoBluetoothConnectionState> lastConnectionState;
  BluetoothUtil::DataListener onDataListener;
  int retryCount = 0;
  bool canRetry = true;
  int dataSendCount = 0;
  BluetoothUtil::StateListener onConnectStateChangeListener;
  // Counts sessions, so a reconnect, a probe answer or a report made in one session never
  // reaches a later one.
  std::uint64_t session = 0;
  // Set by disconnect(): nothing the radio still delivers for the ended session is acted on.
  bool ended = false;
  // The connection under way restores a lost link (its failure means the link is gone).
  bool reconnecting = false;
  bool isPermissionDialogShowing = false;
  std::shared_ptr<BluetoothPermissionFlow> permissionFlow;

  std::shared_ptr<LumoBluetoothScanResultDelegate> scanResultAdapter;
  std::shared_ptr<LumoBluetoothScanTimeoutDelegate> scanTimeoutAdapter;
  std::shared_ptr<LumoBluetoothConnectionTimeoutDelegate> connectionTimeoutAdapter;
  std::shared_ptr<LumoBluetoothMtuChangedDelegate> mtuChangedAdapter;
  std::shared_ptr<LumoBluetoothConnectionStateDelegate> connectionStateAdapter;
  std::shared_ptr<LumoBluetoothServicesDiscoveredDelegate> servicesDiscoveredAdapter;
  std::shared_ptr<LumoBluetoothDataReceivedDelegate> dataReceivedAdapter;
};

LinkState& state();
void log(const std::string& text);
void updateState(ConnectState state);
void startScanForDevices(int adapterWaits = 0);
// True for the peripheral of the session under way, false for any other and after disconnect().
bool isSessionDevice(const std::shared_ptr<platform::ble::Peripheral>& peripheral);
// Asks the manager to connect the session's device; false when it refused.
bool connectDevice();
// The session's connection attempt ended without a link: a first connect reports
// connectTimedOut, a failed reconnect idle; either way the device is forgotten.
void connectionAttemptEnded();
// Drops the device and its services; the next link starts with nothing of this one.
void forgetDevice();
// Creates the seven adapters and registers them with the manager.
void setupCallbacks();

}  // namespace lumo::link
