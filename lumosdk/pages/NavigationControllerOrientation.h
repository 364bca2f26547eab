#pragma once

#include "lumosdk/LumoExport.h"
#include "platform/ui/Orientation.h"

namespace platform::ui {
class NavigationController;
}

namespace lumo {

/// Orientation answers of a navigation controller taken from its top view controller, so that
/// a host's navigation controller lets the landscape-only control page decide. Without a top
/// controller: portrait, portrait, and autorotation allowed. Main thread. This one: the top view
/// controller's supported orientations.
LUMO_EXPORT platform::ui::InterfaceOrientationMask lumo_supportedInterfaceOrientations(
    const platform::ui::NavigationController& navigation);
/// The top view controller's preferred orientation for presentation; portrait without one.
LUMO_EXPORT platform::ui::InterfaceOrientation lumo_preferredInterfaceOrientationForPresentation(
    const platform::ui::NavigationController& navigation);
/// Whether the top view controller lets the interface turn; true without one. Main thread.
LUMO_EXPORT bool lumo_shouldAutorotate(const platform::ui::NavigationController& navigation);

}  // namespace lumo
