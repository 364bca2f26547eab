#pragma once

#include <pango/pangocairo.h>

#include <string>

#include "platform/ui/Geometry.h"
#include "platform/ui/Layer.h"

namespace platform::ui::detail {

// One text as the toolkit sets it: the CJK face at a pixel size, aligned, wrapped at a
// width (none when <= 0) and limited to a number of lines (0 = unlimited, ellipsised).
struct TextStyle {
  std::string text;
  double fontSize = 17;
  bool bold = false;
  TextAlignment alignment = TextAlignment::natural;
  int numberOfLines = 1;
  double wrapWidth = 0;
};

// A layout on `cr`, or on the shared measuring context when `cr` is null. The caller
// unrefs it (g_object_unref).
PangoLayout* createLayout(cairo_t* cr, const TextStyle& style);
// Logical size in points, rounded up as UIKit rounds label sizes.
Size measure(const TextStyle& style);

}  // namespace platform::ui::detail
