#include "demo/window/GamepadMapper.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace demo {

namespace {

// -1, 0 or 1 for one stick axis, pressing beyond kPressTravel and letting go only below
// kReleaseTravel.
int withHysteresis(int state, double value) {
  if (value >= GamepadMapper::kPressTravel) return 1;
  if (value <= -GamepadMapper::kPressTravel) return -1;
  if (state > 0 && value > GamepadMapper::kReleaseTravel) return 1;
  if (state < 0 && value < -GamepadMapper::kReleaseTravel) return -1;
  return 0;
}

const char* padName(GamepadMapper::Pad pad) {
  switch (pad) {
    case GamepadMapper::Pad::forward: return "forward";
    case GamepadMapper::Pad::back: return "back";
    case GamepadMapper::Pad::left: return "left";
    case GamepadMapper::Pad::right: return "right";
  }
  return "";
}

}  // namespace

GamepadMapper::GamepadMapper(Output output, Button deadMan) : output_(std::move(output)), deadMan_(deadMan) {}

void GamepadMapper::button(Button button, bool down) {
  if (button == deadMan_) {
    if (down == deadManHeld_) return;
    deadManHeld_ = down;
    if (down) {
      // Whatever is already held when the button goes down was not meant for this grip.
      stickLocked_ = !stickCentred();
      dpadLocked_ = dpad_;
    }
    update();
    return;
  }
  if (button == kExitButton) {
    if (down && deadManHeld_) emit(Action::Kind::exit);
    return;
  }
  std::optional<Direction> direction;
  switch (button) {
    case Button::dpadUp: direction = upward; break;
    case Button::dpadDown: direction = downward; break;
    case Button::dpadLeft: direction = leftward; break;
    case Button::dpadRight: direction = rightward; break;
    default: return;
  }
  dpad_[*direction] = down;
  if (!down) dpadLocked_[*direction] = false;
  update();
}

void GamepadMapper::axis(Axis axis, double value) {
  if (axis == Axis::leftX) {
    x_ = value;
    stickX_ = withHysteresis(stickX_, value);
  } else if (axis == Axis::leftY) {
    y_ = value;
    stickY_ = withHysteresis(stickY_, value);
  } else {
    return;
  }
  if (stickLocked_ && stickCentred()) stickLocked_ = false;
  update();
}

void GamepadMapper::setWheelMode(bool wheelMode) {
  if (wheelMode == wheelMode_) return;
  wheelMode_ = wheelMode;
  update();
}

void GamepadMapper::reset() {
  deadManHeld_ = false;
  update();
  x_ = y_ = 0;
  stickX_ = stickY_ = 0;
  dpad_ = {};
  stickLocked_ = false;
  dpadLocked_ = {};
}

bool GamepadMapper::stickCentred() const { return std::fabs(x_) <= kCentre && std::fabs(y_) <= kCentre; }

void GamepadMapper::update() {
  std::optional<Pad> throttle, steering;
  std::optional<double> wheel;
  if (deadManHeld_) {
    bool stick = !stickLocked_;
    bool upHeld = dpadDrives(upward), downHeld = dpadDrives(downward);
    if (upHeld != downHeld) {
      throttle = upHeld ? Pad::forward : Pad::back;
    } else if (stick && stickY_ != 0) {
      throttle = stickY_ < 0 ? Pad::forward : Pad::back;  // y grows downward
    }
    bool leftHeld = dpadDrives(leftward), rightHeld = dpadDrives(rightward);
    if (!wheelMode_) {
      if (leftHeld != rightHeld) {
        steering = leftHeld ? Pad::left : Pad::right;
      } else if (stick && stickX_ != 0) {
        steering = stickX_ < 0 ? Pad::left : Pad::right;
      }
    } else if (leftHeld != rightHeld) {
      wheel = leftHeld ? -1.0 : 1.0;
    } else if (stick && std::fabs(x_) > kCentre) {
      // The travel beyond the centre spread over the whole turn, in hundredths so that
      // the jitter of a resting stick does not move the wheel.
      double travel = std::min(1.0, (std::fabs(x_) - kCentre) / (1 - kCentre));
      wheel = std::copysign(std::round(travel * 100) / 100, x_);
    }
  }
  // Let go first, so that a pad group never holds two pads.
  if (throttle_ && throttle_ != throttle) emit(Action::Kind::release, *std::exchange(throttle_, std::nullopt));
  if (steering_ && steering_ != steering) emit(Action::Kind::release, *std::exchange(steering_, std::nullopt));
  if (wheel_ && !wheel) {
    wheel_.reset();
    emit(Action::Kind::letGoOfWheel);
  }
  if (throttle && !throttle_) emit(Action::Kind::press, *(throttle_ = throttle));
  if (steering && !steering_) emit(Action::Kind::press, *(steering_ = steering));
  if (wheel && wheel != wheel_) emit(Action::Kind::turnWheel, Pad::forward, *(wheel_ = wheel));
}

void GamepadMapper::emit(Action::Kind kind, Pad pad, double angle) {
  if (output_) output_({kind, pad, angle});
}

std::string GamepadMapper::describe(const Action& action) {
  switch (action.kind) {
    case Action::Kind::press: return std::string("press ") + padName(action.pad);
    case Action::Kind::release: return std::string("release ") + padName(action.pad);
    case Action::Kind::turnWheel: {
      char text[32];
      std::snprintf(text, sizeof text, "turn wheel %.2f", action.angle);
      return text;
    }
    case Action::Kind::letGoOfWheel: return "let go of wheel";
    case Action::Kind::exit: return "exit";
  }
  return "";
}

}  // namespace demo
