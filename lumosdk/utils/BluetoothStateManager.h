#pragma once

// Private to the vehicle link: a second platform central used only to learn the adapter
// state, made without the system's power alert.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ble/CentralManager.h"

namespace lumo {

class BluetoothStateManager final : public platform::ble::CentralManagerDelegate,
                                    public std::enable_shared_from_this<BluetoothStateManager> {
 public:
  using StateCallback = std::function<void(platform::ble::ManagerState)>;

  static std::shared_ptr<BluetoothStateManager> make();

  // The live state of the central, or the last one reported when there is no central.
  platform::ble::ManagerState getCurrentState() const;
  // Answers at once when a state is known; otherwise waits for the platform's next report.
  // Every waiter is answered: two checks waiting at once must not leave the first unheard.
  void checkBluetoothState(StateCallback callback);

  void centralManagerDidUpdateState(platform::ble::CentralManager& central) override;

  static std::string stateName(platform::ble::ManagerState state);

 private:
  BluetoothStateManager() = default;
  void createCentral();

  std::shared_ptr<platform::ble::CentralManager> centralManager_;
  std::vector<StateCallback> stateCallbacks_;
  platform::ble::ManagerState currentState_ = platform::ble::ManagerState::unknown;
};

}  // namespace lumo
