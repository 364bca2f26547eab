#pragma once

#include <memory>

#include "lumosdk/LumoExport.h"

namespace platform::ui {
class ViewController;
}

namespace lumo {

/// Finds the view controller on top of the host's active window, where the SDK presents its
/// pages (the SDK owns no window). Main thread only. Records go to the log with tag
/// "ContextUtil".
class LUMO_EXPORT ContextUtil {
 public:
  /// The top of the chosen window: the deepest presented controller, then the selected tab,
  /// then the navigation stack's visible controller. None when no window is usable.
  static std::shared_ptr<platform::ui::ViewController> getTopViewController();
  /// The same lookup under the name hosts know from other platforms.
  static std::shared_ptr<platform::ui::ViewController> getCurrentContext();

  ContextUtil() = delete;
};

}  // namespace lumo
