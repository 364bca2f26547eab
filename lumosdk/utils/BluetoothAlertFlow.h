#pragma once

#include <functional>
#include <memory>
#include <string>

#include "lumosdk/utils/BluetoothPermissionFlow.h"
#include "platform/ble/BleTypes.h"

namespace lumo {

// Whether Bluetooth can be used now, explained to the user: reads the adapter state through
// BluetoothUtil's probe (waiting for the platform while it is unknown, up to three retries a
// second apart), and for an adapter that is off, not permitted, missing or in an odd state
// shows a system alert on the page, with a button to the phone's Settings where that helps.
// Every alert path answers false; only an adapter that is on (or a connected vehicle)
// answers true. While one of its alerts is up (BluetoothUtil::isPermissionDialogShowing)
// every check answers false at once. Main thread only; console prefix
// "LUMOSDK_BluetoothUtil: ".
class BluetoothAlertFlow : public BluetoothPermissionFlow,
                                       public std::enable_shared_from_this<BluetoothAlertFlow> {
 public:
  // The platform's "open this app's settings" address.
  static constexpr const char* kSettingsUrl = "app-settings:";
  static constexpr int kStateRetries = 3;
  static constexpr double kRetryDelaySeconds = 1.0;
  static constexpr double kResettingDelaySeconds = 1.0;

  // Makes this flow the one BluetoothUtil runs for its permission checks.
  static void install();

  void checkAndRequestPermissions(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                  std::function<void(bool)> callback) override;

  // The kinds of alert, in the order of their table.
  enum class Alert { permissionDenied, bluetoothOff, unsupported, error };

 private:
  struct Check;
  void checkBluetoothStateWithRetry(const std::shared_ptr<Check>& check, int retriesLeft);
  void handleBluetoothState(platform::ble::ManagerState state, const std::shared_ptr<Check>& check);
  void showAlert(Alert alert, const std::shared_ptr<Check>& check, const std::string& errorMessage = {});
  void presentAlert(Alert alert, const std::shared_ptr<Check>& check, const std::string& errorMessage);
};

}  // namespace lumo
