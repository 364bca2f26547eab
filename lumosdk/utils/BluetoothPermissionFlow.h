#pragma once

#include <functional>
#include <memory>

#include "lumosdk/LumoExport.h"

namespace platform::ui {
class ViewController;
}

namespace lumo {

/// How BluetoothUtil asks whether Bluetooth can be used now, explaining an unusable adapter
/// to the user on the given page. BluetoothAlertFlow is the default; hosts and tests may
/// plug in their own with BluetoothUtil::setPermissionFlow.
class LUMO_EXPORT BluetoothPermissionFlow {
 public:
  virtual ~BluetoothPermissionFlow() = default;
  /// Calls `callback` exactly once: true when the adapter is on and permitted.
  virtual void checkAndRequestPermissions(const std::shared_ptr<platform::ui::ViewController>& viewController,
                                          std::function<void(bool)> callback) = 0;
};

}  // namespace lumo
