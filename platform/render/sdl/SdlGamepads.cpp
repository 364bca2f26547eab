#include "platform/render/sdl/SdlGamepads.h"

#include <algorithm>
#include <string>

#include "platform/foundation/ConsoleLog.h"

namespace platform::render::sdl {
namespace {

// Controller names come from the device; only printable ASCII reaches the screen and console.
std::string printableName(const char* name) {
  std::string text = name && *name ? name : "unnamed controller";
  if (text.size() > 60) text.resize(60);
  for (char& c : text) {
    if (c < 0x20 || c > 0x7e) c = '?';
  }
  return text;
}

double axisValue(Sint16 raw) { return std::clamp(raw / 32767.0, -1.0, 1.0); }

// The host's names follow SDL's numbering; SDL's buttons past the D-pad (paddles, touchpad)
// are not reported.
static_assert(static_cast<int>(SdlHost::GamepadButton::leftShoulder) == SDL_CONTROLLER_BUTTON_LEFTSHOULDER);
static_assert(static_cast<int>(SdlHost::GamepadButton::dpadRight) == SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
static_assert(static_cast<int>(SdlHost::GamepadAxis::rightTrigger) == SDL_CONTROLLER_AXIS_TRIGGERRIGHT);

}  // namespace

void SdlGamepads::handle(const SDL_Event& event) {
  using Kind = Event::Kind;
  switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED: {
      // `which` is a device index here; every later event names the instance id.
      SDL_GameController* handle = SDL_GameControllerOpen(event.cdevice.which);
      if (!handle) {
        foundation::ConsoleLog::write(std::string("SdlHost: cannot open a game controller: ") + SDL_GetError());
        return;
      }
      int id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(handle));
      if (controllers_.count(id)) {  // already open: opening again only took another reference
        SDL_GameControllerClose(handle);
        return;
      }
      controllers_[id].handle = handle;
      report({Kind::connected, id, printableName(SDL_GameControllerName(handle))});
      return;
    }
    case SDL_CONTROLLERDEVICEREMOVED: {
      auto found = controllers_.find(event.cdevice.which);
      if (found == controllers_.end()) return;
      SDL_GameControllerClose(found->second.handle);
      controllers_.erase(found);
      report({Kind::disconnected, event.cdevice.which, ""});
      return;
    }
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
      auto found = controllers_.find(event.cbutton.which);
      if (found == controllers_.end() || event.cbutton.button > SDL_CONTROLLER_BUTTON_DPAD_RIGHT) return;
      auto button = static_cast<Button>(event.cbutton.button);
      bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
      bool changed = down ? found->second.down.insert(button).second : found->second.down.erase(button) > 0;
      if (changed) report({Kind::button, event.cbutton.which, "", button, down});
      return;
    }
    case SDL_CONTROLLERAXISMOTION: {
      auto found = controllers_.find(event.caxis.which);
      if (found == controllers_.end() || event.caxis.axis >= SDL_CONTROLLER_AXIS_MAX) return;
      double value = axisValue(event.caxis.value);
      double& last = found->second.axes[event.caxis.axis];
      if (value == last) return;
      last = value;
      report({Kind::axis, event.caxis.which, "", Button::south, false, static_cast<Axis>(event.caxis.axis), value});
      return;
    }
    default: return;
  }
}

void SdlGamepads::releaseButtons() {
  for (auto& [id, controller] : controllers_) {
    auto held = controller.down;
    controller.down.clear();
    for (Button button : held) report({Event::Kind::button, id, "", button, false});
  }
}

void SdlGamepads::closeAll() {
  for (auto& [id, controller] : controllers_) SDL_GameControllerClose(controller.handle);
  controllers_.clear();
}

double SdlGamepads::axis(int controller, Axis axis) const {
  auto found = controllers_.find(controller);
  auto index = static_cast<std::size_t>(axis);
  return found == controllers_.end() || index >= found->second.axes.size() ? 0 : found->second.axes[index];
}

bool SdlGamepads::isButtonDown(int controller, Button button) const {
  auto found = controllers_.find(controller);
  return found != controllers_.end() && found->second.down.count(button) > 0;
}

void SdlGamepads::report(const Event& event) {
  if (handler_) handler_(event);
}

}  // namespace platform::render::sdl
