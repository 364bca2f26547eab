#include "demo/app/AppDelegate.h"

#include "lumosdk/LumoSdk.h"

namespace demo {

platform::ui::InterfaceOrientationMask AppDelegate::supportedInterfaceOrientations(
    const std::shared_ptr<platform::ui::Window>& /*window*/) {
  return lumo::LumoSdk::landspace() ? platform::ui::OrientationMask::landscapeRight
                                    : platform::ui::OrientationMask::portrait;
}

}  // namespace demo
