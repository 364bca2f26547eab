#pragma once

#include <functional>

#include "platform/dispatch/Clock.h"

namespace platform::ui {

// UIView.AnimationOptions: the bits the pages use.
using AnimationOptions = unsigned;
namespace AnimationOption {
inline constexpr AnimationOptions none = 0;
// Animating views keep receiving touches (otherwise hit testing skips them meanwhile).
inline constexpr AnimationOptions allowUserInteraction = 1u << 1;
inline constexpr AnimationOptions beginFromCurrentState = 1u << 2;
inline constexpr AnimationOptions curveEaseInOut = 0u << 16;
inline constexpr AnimationOptions curveEaseIn = 1u << 16;
inline constexpr AnimationOptions curveEaseOut = 2u << 16;
inline constexpr AnimationOptions curveLinear = 3u << 16;
inline constexpr AnimationOptions curveMask = 3u << 16;
inline constexpr AnimationOptions transitionNone = 0u << 20;
inline constexpr AnimationOptions transitionCrossDissolve = 5u << 20;
}  // namespace AnimationOption

using AnimationBlock = std::function<void()>;
// Receives whether the animation ran to its end (false when its animations were removed).
using AnimationCompletion = std::function<void(bool finished)>;

}  // namespace platform::ui
