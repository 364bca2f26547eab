#pragma once

namespace platform::ui {

// UIInterfaceOrientation raw values.
enum class InterfaceOrientation { unknown = 0, portrait = 1, portraitUpsideDown = 2, landscapeRight = 3, landscapeLeft = 4 };

// UIInterfaceOrientationMask: bit (1 << orientation raw value).
using InterfaceOrientationMask = unsigned;
namespace OrientationMask {
inline constexpr InterfaceOrientationMask portrait = 1u << 1;
inline constexpr InterfaceOrientationMask portraitUpsideDown = 1u << 2;
inline constexpr InterfaceOrientationMask landscapeRight = 1u << 3;
inline constexpr InterfaceOrientationMask landscapeLeft = 1u << 4;
inline constexpr InterfaceOrientationMask landscape = landscapeLeft | landscapeRight;
inline constexpr InterfaceOrientationMask all = portrait | portraitUpsideDown | landscape;
inline constexpr InterfaceOrientationMask allButUpsideDown = portrait | landscape;
}  // namespace OrientationMask

inline InterfaceOrientationMask maskOf(InterfaceOrientation o) { return 1u << static_cast<unsigned>(o); }
inline bool isLandscape(InterfaceOrientation o) {
  return o == InterfaceOrientation::landscapeLeft || o == InterfaceOrientation::landscapeRight;
}

}  // namespace platform::ui
