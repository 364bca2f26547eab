#pragma once

// Private to the vehicle link: a second platform central used only to learn the adapter
// state, made without the system's power alert.

#include <functional>
#include <memory>
#include <string>

#include "platform/ble/CentralManager.h"

namespace lumo {

class BluetoothStateManager final : public platform::ble::CentralManagerDelegate,
                                    public std::enable_shared_from_this<BluetoothStateManager> {
 public:
  using StateCallback = std::function<void(platform::ble::ManagerState)>;

  static std::shared_ptr<BluetoothStateManager> make();

  // The live state of the central, or the last one reported when there is no central.
  platform::ble::ManagerState getCurrentState() const;
  // Answers at once when a state is known; otherwise keeps one waiter (replacing an earlier
  // one) for the platform's next report.
  void checkBluetoothState(StateCallback callback);

  void centralManagerDidUpdateState(platform::ble::CentralManager& central) override;

  static std::string stateName(platform::ble::ManagerState state);

 private:
  BluetoothStateManager() = default;
  void createCentral();

  std::shared_ptr<platform::ble::CentralManager> centralManager_;
  StateCallback stateCallback_;
  platform::ble::ManagerState currentState_ = platform::ble::ManagerState::unknown;
};

}  // namespace lumo
