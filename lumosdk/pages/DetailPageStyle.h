#pragma once

#include "platform/ui/Color.h"

// Colours and measures of the vehicle detail page, shared by its behaviour and its layout.
namespace lumo::detail_page {

inline constexpr double kTitleBarHeight = 56;
inline constexpr double kMargin = 16;
inline constexpr double kRowHeight = 100;
inline constexpr double kGridHeight = 300;

inline const platform::ui::Color kHeadingColor{0.2, 0.2, 0.2, 1};
inline const platform::ui::Color kSecondaryColor{0.4, 0.4, 0.4, 1};
inline const platform::ui::Color kLineColor{0.93, 0.93, 0.93, 1};
inline const platform::ui::Color kLockedColor{0.3, 0.68, 0.31, 1};
inline const platform::ui::Color kUnlockedColor{0.96, 0.26, 0.21, 1};
inline const platform::ui::Color kEnabledTint = platform::ui::Color::rgb255(16, 54, 132);

}  // namespace lumo::detail_page
