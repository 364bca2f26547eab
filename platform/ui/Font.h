#pragma once

#include "platform/PlatformExport.h"

namespace platform::ui {

// UIFont reduced to what the pages use: the system face at a point size, regular or bold.
// Every text is set in the installed CJK face so Chinese and Latin share one family.
struct LUMO_PLATFORM_EXPORT Font {
  double pointSize = 17;
  bool bold = false;

  static Font systemFont(double size) { return {size, false}; }
  static Font boldSystemFont(double size) { return {size, true}; }
  Font withSize(double size) const { return {size, bold}; }
  bool operator==(const Font&) const = default;
};

// The family every text is drawn in.
inline constexpr const char* kFontFamily = "Noto Sans CJK SC";

}  // namespace platform::ui
