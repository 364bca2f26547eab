#include "lumosdk/utils/BluetoothStateManager.h"

#include <utility>

#include "platform/ble/Radio.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"

namespace lumo {

using platform::ble::ManagerState;

std::shared_ptr<BluetoothStateManager> BluetoothStateManager::make() {
  auto probe = std::shared_ptr<BluetoothStateManager>(new BluetoothStateManager());
  probe->createCentral();
  return probe;
}

void BluetoothStateManager::createCentral() {
  centralManager_ = platform::ble::Radio::makeCentralManager(weak_from_this(), {.showPowerAlert = false});
}

ManagerState BluetoothStateManager::getCurrentState() const {
  return centralManager_ ? centralManager_->state() : currentState_;
}

void BluetoothStateManager::checkBluetoothState(StateCallback callback) {
  if (currentState_ != ManagerState::unknown) {
    if (callback) callback(currentState_);
    return;
  }
  if (callback) stateCallbacks_.push_back(std::move(callback));
  if (!centralManager_) createCentral();
}

void BluetoothStateManager::centralManagerDidUpdateState(platform::ble::CentralManager& central) {
  ManagerState state = central.state();
  platform::foundation::ConsoleLog::write("LUMOSDK_BluetoothManager: Bluetooth state updated to " + stateName(state));
  currentState_ = state;
  if (stateCallbacks_.empty()) return;
  platform::dispatch::DispatchQueue::main()->async(
      [callbacks = std::exchange(stateCallbacks_, {}), weakSelf = weak_from_this(), state] {
        auto self = weakSelf.lock();
        // The central's state when the waiters run, which may have moved on since the report.
        auto current = self && self->centralManager_ ? self->centralManager_->state() : state;
        for (const auto& callback : callbacks) callback(current);
      });
}

std::string BluetoothStateManager::stateName(ManagerState state) {
  switch (state) {
    case ManagerState::unknown: return "unknown";
    case ManagerState::resetting: return "resetting";
    case ManagerState::unsupported: return "unsupported";
    case ManagerState::unauthorized: return "unauthorized";
    case ManagerState::poweredOff: return "poweredOff";
    case ManagerState::poweredOn: return "poweredOn";
  }
  return "未知状态(" + std::to_string(static_cast<int>(state)) + ")";
}

}  // namespace lumo
