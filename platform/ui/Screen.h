#pragma once

#include "platform/PlatformExport.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

// UIScreen.main: a 390 × 844 point portrait phone screen at scale 3.
struct LUMO_PLATFORM_EXPORT Screen {
  static Rect portraitBounds() { return {0, 0, 390, 844}; }
  static double scale() { return 3.0; }
};

}  // namespace platform::ui
