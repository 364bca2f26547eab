#pragma once

// Private to DialogUtil: the short message that fades in over a window and goes by itself.

#include <memory>
#include <string>

namespace platform::ui {
class View;
class Window;
}  // namespace platform::ui

namespace lumo::ui {

inline constexpr double kToastFadeDuration = 0.3;
// From the start of the fade-in to the start of the fade-out.
inline constexpr double kToastVisibleDuration = 1.5;

// Adds the toast to `window` and schedules its fade-out and removal; returns the toast view.
std::shared_ptr<platform::ui::View> presentToast(platform::ui::Window& window, const std::string& message);

}  // namespace lumo::ui
