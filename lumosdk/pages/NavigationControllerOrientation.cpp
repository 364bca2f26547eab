#include "lumosdk/pages/NavigationControllerOrientation.h"

#include "platform/ui/NavigationController.h"

namespace lumo {

namespace ui = platform::ui;

ui::InterfaceOrientationMask lumo_supportedInterfaceOrientations(const ui::NavigationController& navigation) {
  auto top = navigation.topViewController();
  return top ? top->supportedInterfaceOrientations() : ui::OrientationMask::portrait;
}

ui::InterfaceOrientation lumo_preferredInterfaceOrientationForPresentation(const ui::NavigationController& navigation) {
  auto top = navigation.topViewController();
  return top ? top->preferredInterfaceOrientationForPresentation() : ui::InterfaceOrientation::portrait;
}

bool lumo_shouldAutorotate(const ui::NavigationController& navigation) {
  auto top = navigation.topViewController();
  return top ? top->shouldAutorotate() : true;
}

}  // namespace lumo
