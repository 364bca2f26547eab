#pragma once

#include "platform/PlatformExport.h"

namespace platform::ui {

// UIColor: straight (not premultiplied) red, green, blue and alpha, each 0...1.
struct LUMO_PLATFORM_EXPORT Color {
  double red = 0, green = 0, blue = 0, alpha = 0;

  static Color rgb255(int r, int g, int b, double a = 1.0) { return {r / 255.0, g / 255.0, b / 255.0, a}; }
  static Color white(double level, double a = 1.0) { return {level, level, level, a}; }
  Color withAlpha(double a) const { return {red, green, blue, a}; }
  bool isClear() const { return alpha <= 0; }
  // Component-wise interpolation without clamping (an overshooting curve may leave 0...1).
  static Color interpolate(const Color& from, const Color& to, double t) {
    return {from.red + (to.red - from.red) * t, from.green + (to.green - from.green) * t,
            from.blue + (to.blue - from.blue) * t, from.alpha + (to.alpha - from.alpha) * t};
  }

  static Color clear() { return {0, 0, 0, 0}; }
  static Color black() { return {0, 0, 0, 1}; }
  static Color white() { return {1, 1, 1, 1}; }
  static Color darkGray() { return white(1.0 / 3.0); }
  static Color gray() { return white(0.5); }
  static Color lightGray() { return white(2.0 / 3.0); }
  static Color redColor() { return {1, 0, 0, 1}; }
  static Color greenColor() { return {0, 1, 0, 1}; }
  static Color blueColor() { return {0, 0, 1, 1}; }
  static Color orange() { return {1, 0.5, 0, 1}; }
  // The system palette's tones (systemRed, systemBlue, systemGray, systemGreen).
  static Color systemRed() { return rgb255(255, 59, 48); }
  static Color systemBlue() { return rgb255(0, 122, 255); }
  static Color systemGray() { return rgb255(142, 142, 147); }
  static Color systemGreen() { return rgb255(52, 199, 89); }
  static Color systemOrange() { return rgb255(255, 149, 0); }
  bool operator==(const Color&) const = default;
};

}  // namespace platform::ui
