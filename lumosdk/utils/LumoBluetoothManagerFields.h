#pragma once

// Private to the manager's source files: its per-peripheral maps and delegate references.

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "lumosdk/utils/LumoBluetoothManager.h"
#include "platform/dispatch/Timer.h"

namespace lumo {

class LumoBluetoothManagerBridge;

// One piece waiting for the platform's flow control.
struct WriteRequest {
  platform::Bytes data;
  std::shared_ptr<platform::ble::Characteristic> characteristic;
};

using CharacteristicMap = std::map<platform::ble::Uuid, std::shared_ptr<platform::ble::Characteristic>>;

struct LumoBluetoothManager::Fields {
  std::shared_ptr<platform::ble::CentralManager> centralManager;
  std::shared_ptr<platform::dispatch::Timer> scanTimer;
  bool isScanning = false;
  std::map<std::string, PeripheralPtr> knownPeripherals;
  std::set<std::string> seenThisScan;  // keys discovered since the scan began
  std::map<std::string, PeripheralPtr> currentlyConnectingPeripherals;
  std::map<std::string, PeripheralPtr> connectedPeripherals;
  std::map<std::string, LumoBluetoothConnectionState> deviceConnectionStates;
  std::map<std::string, std::shared_ptr<platform::dispatch::Timer>> connectionTimers;
  std::map<std::string, std::map<platform::ble::Uuid, CharacteristicMap>> servicesCache;
  std::map<std::string, std::deque<WriteRequest>> writeQueues;
  std::map<std::string, platform::Bytes> writeBuffer;
  std::map<std::string, std::shared_ptr<platform::dispatch::Timer>> batchTimers;
  std::weak_ptr<LumoBluetoothScanResultDelegate> scanResultDelegate;
  std::weak_ptr<LumoBluetoothConnectionStateDelegate> connectionStateDelegate;
  std::weak_ptr<LumoBluetoothServicesDiscoveredDelegate> servicesDiscoveredDelegate;
  std::weak_ptr<LumoBluetoothDataReceivedDelegate> dataReceivedDelegate;
  std::weak_ptr<LumoBluetoothScanTimeoutDelegate> scanTimeoutDelegate;
  std::weak_ptr<LumoBluetoothConnectionTimeoutDelegate> connectionTimeoutDelegate;
  std::weak_ptr<LumoBluetoothMtuChangedDelegate> mtuChangedDelegate;
  // Receives the platform's central and peripheral callbacks and hands them on.
  std::shared_ptr<LumoBluetoothManagerBridge> bridge;
};

// Writes one manager diagnostic line to the console.
void managerLog(const std::string& text);

}  // namespace lumo
