#pragma once

#include <cairo.h>

#include <string>

namespace platform::ui::detail {

// Draws the named symbol into a unit square (0...1 on both axes) in the current source
// colour. Returns false for a name it does not know.
bool drawSystemSymbol(cairo_t* cr, const std::string& name);

}  // namespace platform::ui::detail
