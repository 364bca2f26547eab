#pragma once

#include <SDL.h>

#include <array>
#include <map>
#include <set>

#include "platform/render/sdl/SdlHost.h"

namespace platform::render::sdl {

// The game controllers of an SdlHost: opened as SDL reports them plugged in (at start or
// later), closed when pulled out, and their events reported in the host's terms.
class SdlGamepads {
 public:
  using Button = SdlHost::GamepadButton;
  using Axis = SdlHost::GamepadAxis;
  using Event = SdlHost::GamepadEvent;

  SdlGamepads() = default;
  SdlGamepads(const SdlGamepads&) = delete;
  SdlGamepads& operator=(const SdlGamepads&) = delete;

  void setHandler(SdlHost::GamepadHandler handler) { handler_ = std::move(handler); }
  // A controller event (plugged, pulled, button, axis); other events are left alone.
  void handle(const SDL_Event& event);
  // Reports every held button up; SDL reports their real release again, which is dropped.
  void releaseButtons();
  // Before SDL shuts down.
  void closeAll();

  double axis(int controller, Axis axis) const;
  bool isButtonDown(int controller, Button button) const;

 private:
  struct Controller {
    SDL_GameController* handle = nullptr;
    std::set<Button> down;
    std::array<double, SDL_CONTROLLER_AXIS_MAX> axes{};
  };
  void report(const Event& event);

  // By SDL's instance id.
  std::map<int, Controller> controllers_;
  SdlHost::GamepadHandler handler_;
};

}  // namespace platform::render::sdl
