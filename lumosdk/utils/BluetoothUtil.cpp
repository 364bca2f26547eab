#include "lumosdk/utils/BluetoothUtil.h"

#include <cstdio>

#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/BluetoothAlertFlow.h"
#include "lumosdk/utils/BluetoothUtilState.h"
#include "lumosdk/utils/LogObject.h"
#include "lumosdk/utils/LogUtil.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"

namespace lumo {

using platform::ble::ManagerState;
using platform::ble::WriteType;
namespace property = platform::ble::property;

namespace link {

constexpr int kAdapterWaits = 40;
constexpr platform::dispatch::Seconds kAdapterWaitStep{0.05};

LinkState& state() {
  static LinkState linkState;
  return linkState;
}

void log(const std::string& text) { platform::foundation::ConsoleLog::write("LUMOSDK_BluetoothUtil: " + text); }

void updateState(ConnectState newState) {
  state().currState = newState;
  log(std::string("State changed to: ") + connectStateName(newState) + " - " + getDesc(newState));
  if (state().onConnectStateChangeListener) {
    platform::dispatch::DispatchQueue::main()->async([newState, session = state().session] {
      // A report of a session that ended meanwhile would reach the next page's listener.
      if (state().session != session) return;
      // The listener in place when the report runs (the page may have replaced it meanwhile),
      // called as a copy so that it may replace itself.
      auto listener = state().onConnectStateChangeListener;
      if (listener) listener(newState);
    });
  }
}

bool isSessionDevice(const std::shared_ptr<platform::ble::Peripheral>& peripheral) {
  auto& s = state();
  // Same identifier, same map key in the manager; compared without building the key text,
  // as this runs for every received frame.
  return !s.ended && s.bluetoothDevice && peripheral && s.bluetoothDevice->identifier() == peripheral->identifier();
}

bool connectDevice() {
  auto& s = state();
  return s.bluetoothDevice && s.bluetoothManager && s.bluetoothManager->connect(s.bluetoothDevice, false);
}

void connectionAttemptEnded() {
  bool wasReconnect = state().reconnecting;
  log(wasReconnect ? "Reconnect failed" : "Connection failed");
  forgetDevice();
  updateState(wasReconnect ? ConnectState::idle : ConnectState::connectTimedOut);
}

void forgetDevice() {
  auto& s = state();
  s.bluetoothDevice.reset();
  s.services.reset();
  s.reconnecting = false;
}

void startScanForDevices(int adapterWaits) {
  auto& s = state();
  if (!s.bluetoothManager) {
    log("bluetoothManager is nil, cannot start scan");
    updateState(ConnectState::idle);
    return;
  }
  // The manager's central hears from the adapter on its own; over a real radio's bus that can
  // come a moment after the state check said "on". Waiting for it beats a failed scan.
  if (s.bluetoothManager->getAdapterState() == LumoBluetoothAdapterState::unknown && adapterWaits < kAdapterWaits) {
    platform::dispatch::DispatchQueue::main()->asyncAfter(kAdapterWaitStep, [session = s.session, adapterWaits] {
      if (state().session == session && !state().ended) startScanForDevices(adapterWaits + 1);
    });
    return;
  }
  s.bluetoothManager->stopScan();
  if (s.bluetoothManager->startScan()) {
    log("开始扫描蓝牙设备");
    updateState(ConnectState::scanning);
  } else {
    log("扫描启动失败");
    updateState(ConnectState::scanTimedOut);
  }
}

}  // namespace link

using link::log;
using link::state;
using link::updateState;

bool BluetoothUtil::initialize(const std::shared_ptr<platform::ui::ViewController>&) {
  log("Initializing BluetoothUtil");
  auto& s = state();
  if (s.bluetoothManager) {
    log("BluetoothUtil already initialized");
    return true;
  }
  s.currState = ConnectState::idle;
  s.bluetoothManager = LumoBluetoothManager::getInstance();
  link::setupCallbacks();
  s.bluetoothStateManager = BluetoothStateManager::make();
  return true;
}

void BluetoothUtil::initWithSlaverDeviceName(const std::string& name, std::int64_t vehicleId) {
  log("initWithSlaverDeviceName: " + name);
  auto& s = state();
  s.slaverDeviceName = name;
  s.slaveVehicleId = vehicleId;
  s.retryCount = 0;
  s.canRetry = true;
  s.dataSendCount = 0;
  ++s.session;
  s.ended = false;
  // A link of an earlier session is closed, not carried over: forgotten first, so that its
  // closing is not taken for an event of this session.
  auto previous = s.bluetoothDevice;
  link::forgetDevice();
  if (s.bluetoothManager) {
    s.bluetoothManager->stopScan();
    if (previous) s.bluetoothManager->disconnect(previous);
  }
  discoverSlaverDevice();
}

void BluetoothUtil::discoverSlaverDevice() {
  log("discoverSlaverDevice");
  auto& s = state();
  s.lastData.clear();
  s.ended = false;
  if (!s.bluetoothStateManager) {
    log("初始化蓝牙状态管理器");
    s.bluetoothStateManager = BluetoothStateManager::make();
  }
  ManagerState adapter = s.bluetoothStateManager->getCurrentState();
  log("当前蓝牙状态: " + BluetoothStateManager::stateName(adapter));
  if (adapter == ManagerState::unknown) {
    log("蓝牙状态未知，等待状态更新");
    s.bluetoothStateManager->checkBluetoothState([session = s.session](ManagerState answered) {
      // The answer belongs to the search that asked; a page that left meanwhile gets no scan.
      if (state().session != session || state().ended) return;
      if (answered == ManagerState::poweredOn) {
        log("蓝牙状态更新为已开启，开始扫描设备");
        link::startScanForDevices();
      } else {
        log("蓝牙状态更新为 " + BluetoothStateManager::stateName(answered) + "，无法扫描设备");
        updateState(ConnectState::idle);
      }
    });
  } else if (adapter == ManagerState::poweredOn) {
    log("蓝牙已开启，开始扫描设备");
    link::startScanForDevices();
  } else {
    log("Bluetooth adapter is not enabled, state: " + BluetoothStateManager::stateName(adapter));
    updateState(ConnectState::idle);
  }
}

void BluetoothUtil::connect() { link::connectDevice(); }

void BluetoothUtil::setOnConnectStateChangeListener(StateListener listener) {
  state().onConnectStateChangeListener = std::move(listener);
}

void BluetoothUtil::setOnDataListener(DataListener listener) { state().onDataListener = std::move(listener); }

void BluetoothUtil::sendData(const platform::Bytes& data) {
  auto& s = state();
  if (!isConnected() || !s.services || s.services->empty()) return;
  // Copies: a write may reach code that replaces the device or the service list.
  auto device = s.bluetoothDevice;
  // The platform may know the link is gone before its report reaches the manager.
  if (device->state() != platform::ble::PeripheralState::connected) return;
  auto service = s.services->back();
  if (!service->characteristics()) return;
  auto characteristics = *service->characteristics();
  bool written = false;
  for (const auto& characteristic : characteristics) {
    bool withoutResponse = characteristic->hasProperty(property::writeWithoutResponse);
    if (!withoutResponse && !characteristic->hasProperty(property::write)) continue;
    platform::Bytes frame = data;
    frame.push_back(0x0D);
    frame.push_back(0x0A);
    device->writeValue(frame, *characteristic, withoutResponse ? WriteType::withoutResponse : WriteType::withResponse);
    written = true;
    std::string hex;
    hex.reserve(frame.size() * 2);
    char digits[3];
    for (auto byte : frame) {
      std::snprintf(digits, sizeof digits, "%02hhx", byte);
      hex += digits;
    }
    LogObject record;
    record.putLong("vid", s.slaveVehicleId);
    record.putString("ble_name", s.slaverDeviceName);
    record.putString("cmd", hex);
    LogUtil::log(LogPriority::info, std::string("ble_cmd"), record.description());
  }
  if (written) recorder::SessionEvents::controlFrameWritten(data);
}

bool BluetoothUtil::isConnected() {
  auto& s = state();
  return s.bluetoothDevice && s.bluetoothManager && s.bluetoothManager->isConnected(s.bluetoothDevice);
}

void BluetoothUtil::disconnect() {
  log("disconnect");
  auto& s = state();
  s.canRetry = false;
  ++s.session;
  s.ended = true;
  auto device = s.bluetoothDevice;
  // The services go too: the next session, perhaps with another vehicle, must not write
  // through this link's characteristics before its own discovery.
  link::forgetDevice();
  if (s.bluetoothManager) {
    s.bluetoothManager->stopScan();
    if (device) s.bluetoothManager->disconnect(device);
  }
  s.slaverDeviceName.clear();
  s.slaveVehicleId = -1;
}

std::shared_ptr<platform::ble::Peripheral> BluetoothUtil::getBluetoothDevice() { return state().bluetoothDevice; }

BluetoothUtil::ConnectState BluetoothUtil::getCurrentState() { return state().currState; }

std::shared_ptr<BluetoothStateManager> BluetoothUtil::stateManager() {
  auto& s = state();
  if (!s.bluetoothStateManager) s.bluetoothStateManager = BluetoothStateManager::make();
  return s.bluetoothStateManager;
}

void BluetoothUtil::checkAndRequestPermissions(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                               std::function<void(bool)> callback) {
  auto answer = [callback = std::move(callback)](bool usable) {
    if (callback) callback(usable);
  };
  auto& flow = state().permissionFlow;
  // Hosts use the link without initSdk too; they get the same alerts, not a silent answer.
  if (!flow) flow = std::make_shared<BluetoothAlertFlow>();
  auto running = flow;
  running->checkAndRequestPermissions(viewController, answer);
}

void BluetoothUtil::checkBluetoothEnabled(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                          std::function<void(bool)> callback) {
  checkAndRequestPermissions(viewController, std::move(callback));
}

void BluetoothUtil::setPermissionFlow(std::shared_ptr<BluetoothPermissionFlow> flow) {
  state().permissionFlow = std::move(flow);
}

bool BluetoothUtil::isPermissionDialogShowing() { return state().isPermissionDialogShowing; }

void BluetoothUtil::setPermissionDialogShowing(bool showing) { state().isPermissionDialogShowing = showing; }

void BluetoothUtil::resetForTesting() { state() = link::LinkState{}; }

int BluetoothUtil::retryCountForTesting() { return state().retryCount; }

int BluetoothUtil::acceptedFrameCountForTesting() { return state().dataSendCount; }

}  // namespace lumo
