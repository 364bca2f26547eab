#pragma once

#include <map>
#include <memory>

#include "lumosdk/LumoExport.h"
#include "lumosdk/widgets/ControlCallback.h"
#include "platform/ui/Color.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"

namespace lumo {

/// The control page's direction input. Turns touches on the four pads into press and
/// release events (at most one pressed pad per group: forward/back and left/right), tints
/// the pressed pad, forwards the steering wheel's angle, and switches between key mode (four
/// pads) and steering-wheel mode (forward/back pads and the wheel) with an animation.
/// The page owns the helper; the helper refers to the page and its callback weakly.
/// Main thread only.
class LUMO_EXPORT DirectionControlHelper {
 public:
  /// The receiver of the input's events.
  using ControlCallback = lumo::ControlCallback;

  /// View tag of the forward pad.
  static constexpr int TAG_UP = 1001;
  /// View tag of the back pad.
  static constexpr int TAG_DOWN = 1002;
  /// View tag of the left pad.
  static constexpr int TAG_LEFT = 1003;
  /// View tag of the right pad.
  static constexpr int TAG_RIGHT = 1004;
  /// Preferences key under which the control page keeps the chosen mode (true: steering wheel).
  static constexpr const char* PREF_KEY_MODE = "steering_wheel_mode";
  /// Notification posted on the default centre when the switch to steering-wheel mode has finished.
  static constexpr const char* kSteeringWheelAnimationCompleted = "SteeringWheelAnimationCompleted";
  /// Notification posted on the default centre when the switch to key mode has finished.
  static constexpr const char* kButtonModeAnimationCompleted = "ButtonModeAnimationCompleted";
  /// Seconds a mode switch animates.
  static constexpr double kModeAnimationDuration = 0.5;

  /// Takes the page (held weakly), its four pads (tagged TAG_UP ... TAG_RIGHT), the container of the
  /// left and right pads and the steering wheel view, and listens to touches on the pads.
  DirectionControlHelper(std::shared_ptr<platform::ui::ViewController> context,
                         std::shared_ptr<platform::ui::ImageView> up, std::shared_ptr<platform::ui::ImageView> down,
                         std::shared_ptr<platform::ui::ImageView> left, std::shared_ptr<platform::ui::ImageView> right,
                         std::shared_ptr<platform::ui::View> rightContainer,
                         std::shared_ptr<platform::ui::View> steeringWheel);
  /// Removes its gesture recognizers from the pads.
  ~DirectionControlHelper();
  /// Not copyable: it owns the pads' listeners.
  DirectionControlHelper(const DirectionControlHelper&) = delete;
  /// Not assignable.
  DirectionControlHelper& operator=(const DirectionControlHelper&) = delete;

  /// Held weakly. Also routes the wheel's angle to the callback when the wheel is a SteeringWheel.
  void setControlCallback(const std::shared_ptr<ControlCallback>& callback);
  /// Switches to key mode (true: four pads) or steering-wheel mode (false), animated over
  /// kModeAnimationDuration; the hidden group is released first. Nothing when already in that mode.
  void setKeyMode(bool keyMode);
  /// Whether the four pads are shown (key mode).
  bool keyMode() const { return keyMode_; }

  /// Lets go of every pressed pad (with its release event) and recentres the wheel (with
  /// its 0.0 report). The page calls it when it leaves; a mode switch does it for the group
  /// it hides.
  void releaseAllInputs();

  /// Tag of the pressed forward or back pad; 0 when none.
  int pressedLeftPadViewTag() const { return pressedLeftPadViewTag_; }
  /// Tag of the pressed left or right pad; 0 when none.
  int pressedRightPadViewTag() const { return pressedRightPadViewTag_; }
  /// The tint of a pressed pad.
  platform::ui::Color pressedColor() const { return pressedColor_; }

 private:
  void setupTouchListeners();
  void handleDirectionGesture(platform::ui::GestureRecognizer& recognizer);
  void handleActionDown(int tag);
  void handleActionCancelOrExit(int tag);
  void applyPressedFilter(const std::shared_ptr<platform::ui::ImageView>& imageView);
  void clearColorFilter(const std::shared_ptr<platform::ui::ImageView>& imageView);
  void clearColorFilterIfPressed(int tag);
  std::shared_ptr<platform::ui::ImageView> padWithTag(int tag) const;
  /// Cancels the fingers on the pads of a group and releases what stays pressed.
  void releaseSteeringGroup();
  void releaseThrottleGroup();
  void releasePad(int tag);
  void releaseWheel();
  void applyModeWithoutAnimation();
  void pinWheelToContainer();
  void logState(const char* prefix);
  void finishModeAnimation(bool toKeyMode);
  template <class Event>
  void notify(Event event);

  std::shared_ptr<platform::ui::ImageView> controlPadUp_;
  std::shared_ptr<platform::ui::ImageView> controlPadDown_;
  std::shared_ptr<platform::ui::ImageView> controlPadLeft_;
  std::shared_ptr<platform::ui::ImageView> controlPadRight_;
  std::shared_ptr<platform::ui::View> pageSteeringWheel_;
  std::shared_ptr<platform::ui::View> rightControlContainer_;
  bool keyMode_ = false;
  int pressedLeftPadViewTag_ = 0;
  int pressedRightPadViewTag_ = 0;
  platform::ui::Color pressedColor_;
  std::weak_ptr<platform::ui::ViewController> viewController_;
  std::map<int, std::shared_ptr<platform::ui::Image>> originalImages_;
  std::weak_ptr<ControlCallback> controlCallback_;
  /// Callbacks stored in views and animations outlive nothing: they check this token first.
  std::shared_ptr<DirectionControlHelper*> alive_;
  std::map<int, std::shared_ptr<platform::ui::GestureRecognizer>> recognizers_;
};

}  // namespace lumo
