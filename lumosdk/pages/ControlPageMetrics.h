#pragma once

// Private to the control page's source files: the measures its view-building parts share.

namespace lumo::control_page {

inline constexpr double kTopBarHeight = 60;
// The pad areas at both sides: square, this far from the bottom and the side edges.
inline constexpr double kControlAreaSize = 170;
inline constexpr double kEdgeInset = 10;

}  // namespace lumo::control_page
