#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "platform/render/sdl/SdlHost.h"

namespace demo {

// Turns one game controller's buttons and sticks into what fingers do on the control page:
// press and release the direction pads, turn the steering wheel, tap 退出. Nothing comes out
// unless the dead-man button is held; letting go of it (or losing the controller) releases
// at once everything the controller pressed, and a stick or D-pad direction already held
// when the dead-man button goes down counts only after it has been let go.
class GamepadMapper {
 public:
  using Button = platform::render::sdl::SdlHost::GamepadButton;
  using Axis = platform::render::sdl::SdlHost::GamepadAxis;
  enum class Pad { forward, back, left, right };
  struct Action {
    enum class Kind { press, release, turnWheel, letGoOfWheel, exit };
    Kind kind = Kind::press;
    Pad pad = Pad::forward;  // press, release
    double angle = 0;        // turnWheel: -1 (full left) ... 1 (full right)
  };
  using Output = std::function<void(const Action& action)>;

  // Stick travel beyond which a pad is pressed, and below which a pressed one is let go:
  // the gap keeps a stick resting near the edge from chattering.
  static constexpr double kPressTravel = 0.5;
  static constexpr double kReleaseTravel = 0.3;
  // Travel within which a stick counts as centred; the wheel does not turn inside it.
  static constexpr double kCentre = 0.2;
  static constexpr Button kExitButton = Button::east;

  explicit GamepadMapper(Output output, Button deadMan = Button::leftShoulder);

  void button(Button button, bool down);
  void axis(Axis axis, double value);
  // Key mode: the stick's sideways travel presses the left and right pads. Wheel mode: it
  // turns the wheel to the matching angle, and the D-pad's left and right to full lock.
  void setWheelMode(bool wheelMode);
  // The controller is gone (or the window lost it): release everything and forget its state.
  void reset();

  Button deadManButton() const { return deadMan_; }
  bool deadManHeld() const { return deadManHeld_; }

  // "press forward", "release left", "turn wheel 0.50", "let go of wheel", "exit".
  static std::string describe(const Action& action);

 private:
  enum Direction { upward, downward, leftward, rightward };
  bool stickCentred() const;
  bool dpadDrives(Direction direction) const { return dpad_[direction] && !dpadLocked_[direction]; }
  void update();
  void emit(Action::Kind kind, Pad pad = Pad::forward, double angle = 0);

  Output output_;
  Button deadMan_;
  bool deadManHeld_ = false;
  bool wheelMode_ = false;
  double x_ = 0, y_ = 0;
  // The stick's pad state per axis (-1, 0, 1), with the travel hysteresis applied.
  int stickX_ = 0, stickY_ = 0;
  std::array<bool, 4> dpad_{};
  // Held when the dead-man button went down: ignored until let go (the stick: centred).
  bool stickLocked_ = false;
  std::array<bool, 4> dpadLocked_{};
  // What the controller holds on the page now.
  std::optional<Pad> throttle_;
  std::optional<Pad> steering_;
  std::optional<double> wheel_;
};

}  // namespace demo
