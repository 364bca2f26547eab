#include "lumosdk/widgets/DirectionControlHelper.h"

#include <charconv>
#include <numbers>
#include <string>

#include "lumosdk/widgets/DirectionGestureRecognizer.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/Window.h"

namespace lumo {

using namespace platform::ui;
using platform::foundation::ConsoleLog;

namespace {

constexpr double kQuarterTurn = std::numbers::pi / 2;

const char* text(bool value) { return value ? "true" : "false"; }

// The shortest text that reads back as the same double, always with a decimal point
// ("0.0", "1.0", "0.25").
std::string shortestDecimal(double value) {
  char buffer[32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc{}) return "nan";
  std::string out(buffer, end);
  if (out.find_first_of(".eni") == std::string::npos) out += ".0";
  return out;
}

void removeAnimations(const std::shared_ptr<View>& view) {
  if (view) view->layer()->removeAllAnimations();
}

}  // namespace

DirectionControlHelper::DirectionControlHelper(std::shared_ptr<ViewController> context, std::shared_ptr<ImageView> up,
                                               std::shared_ptr<ImageView> down, std::shared_ptr<ImageView> left,
                                               std::shared_ptr<ImageView> right, std::shared_ptr<View> rightContainer,
                                               std::shared_ptr<View> steeringWheel)
    : controlPadUp_(std::move(up)),
      controlPadDown_(std::move(down)),
      controlPadLeft_(std::move(left)),
      controlPadRight_(std::move(right)),
      pageSteeringWheel_(std::move(steeringWheel)),
      rightControlContainer_(std::move(rightContainer)),
      viewController_(context),
      alive_(std::make_shared<DirectionControlHelper*>(this)) {
  if (controlPadUp_) controlPadUp_->setTag(TAG_UP);
  if (controlPadDown_) controlPadDown_->setTag(TAG_DOWN);
  if (controlPadLeft_) controlPadLeft_->setTag(TAG_LEFT);
  if (controlPadRight_) controlPadRight_->setTag(TAG_RIGHT);
  pressedColor_ = Color{0.0, 0.3215686274509804, 0.8509803921568627, 1.0};
  setupTouchListeners();

  auto stored = platform::foundation::UserDefaults::standard().object(PREF_KEY_MODE);
  keyMode_ = stored && stored->is_boolean() ? stored->get<bool>() : true;
  applyModeWithoutAnimation();
  if (rightControlContainer_ && rightControlContainer_->superview()) pinWheelToContainer();
}

DirectionControlHelper::~DirectionControlHelper() {
  // The pads keep their recognisers; they must not call back into a helper that is gone.
  for (const auto& [tag, recognizer] : recognizers_) {
    if (auto view = recognizer->view()) view->removeGestureRecognizer(recognizer);
  }
  // The wheel's listener checks alive_ and goes quiet by itself.
}

void DirectionControlHelper::setupTouchListeners() {
  std::weak_ptr<DirectionControlHelper*> alive = alive_;
  for (const auto& pad : {controlPadUp_, controlPadDown_, controlPadLeft_, controlPadRight_}) {
    if (!pad) continue;
    auto recognizer = std::make_shared<DirectionGestureRecognizer>([alive](GestureRecognizer& r) {
      if (auto self = alive.lock()) (*self)->handleDirectionGesture(r);
    });
    pad->addGestureRecognizer(recognizer);
    pad->setUserInteractionEnabled(true);
    recognizers_[pad->tag()] = recognizer;
    if (pad->image()) originalImages_[pad->tag()] = pad->image();
  }
}

void DirectionControlHelper::applyModeWithoutAnimation() {
  auto container = rightControlContainer_;
  auto wheel = pageSteeringWheel_;
  if (container) {
    container->setHidden(!keyMode_);
    container->setAlpha(keyMode_ ? 1 : 0);
    if (keyMode_) container->setTransform(AffineTransform::identity());
  }
  if (wheel) {
    wheel->setHidden(keyMode_);
    wheel->setAlpha(keyMode_ ? 0 : 1);
    if (!keyMode_) wheel->setTransform(AffineTransform::identity());
  }
}

void DirectionControlHelper::pinWheelToContainer() {
  auto container = rightControlContainer_;
  auto wheel = pageSteeringWheel_;
  auto parent = container ? container->superview() : nullptr;
  if (!wheel || !parent) return;
  parent->addSubview(wheel);
  wheel->setTranslatesAutoresizingMaskIntoConstraints(false);
  // The wheel and the container share one frame; only one of them shows.
  LayoutConstraint::activate({
      wheel->topAnchor().constraintEqualTo(container->topAnchor()),
      wheel->bottomAnchor().constraintEqualTo(container->bottomAnchor()),
      wheel->leadingAnchor().constraintEqualTo(container->leadingAnchor()),
      wheel->trailingAnchor().constraintEqualTo(container->trailingAnchor()),
  });
}

void DirectionControlHelper::setControlCallback(const std::shared_ptr<ControlCallback>& callback) {
  controlCallback_ = callback;
  auto wheel = std::dynamic_pointer_cast<SteeringWheel>(pageSteeringWheel_);
  if (!wheel) return;
  std::weak_ptr<DirectionControlHelper*> alive = alive_;
  wheel->onAngleChanged = [alive](double angle) {
    auto self = alive.lock();
    if (!self) return;
    if (auto receiver = (*self)->controlCallback_.lock()) {
      receiver->onSteeringWheelAngleChanged(static_cast<float>(angle));
    }
  };
}

template <class Event>
void DirectionControlHelper::notify(Event event) {
  if (auto receiver = controlCallback_.lock()) (receiver.get()->*event)();
}

// ---- pads

std::shared_ptr<ImageView> DirectionControlHelper::padWithTag(int tag) const {
  switch (tag) {
    case TAG_UP: return controlPadUp_;
    case TAG_DOWN: return controlPadDown_;
    case TAG_LEFT: return controlPadLeft_;
    case TAG_RIGHT: return controlPadRight_;
    default: return nullptr;
  }
}

void DirectionControlHelper::handleDirectionGesture(GestureRecognizer& recognizer) {
  auto view = recognizer.view();
  if (!view) return;
  int tag = view->tag();
  switch (recognizer.state()) {
    case GestureRecognizer::State::began: handleActionDown(tag); break;
    case GestureRecognizer::State::changed: {
      // Sliding off the pad lets go of it at the first move outside.
      Point p = recognizer.locationIn(view);
      if (!view->bounds().contains(p)) handleActionCancelOrExit(tag);
      break;
    }
    case GestureRecognizer::State::ended:
    case GestureRecognizer::State::cancelled: handleActionCancelOrExit(tag); break;
    default: break;
  }
}

void DirectionControlHelper::handleActionDown(int tag) {
  if (tag == TAG_LEFT || tag == TAG_RIGHT) {
    if (pressedRightPadViewTag_ == TAG_RIGHT) {
      clearColorFilter(controlPadRight_);
      notify(&ControlCallback::onRightRelease);
    } else if (pressedRightPadViewTag_ == TAG_LEFT) {
      clearColorFilter(controlPadLeft_);
      notify(&ControlCallback::onLeftRelease);
    }
    applyPressedFilter(padWithTag(tag));
    pressedRightPadViewTag_ = tag;
    notify(tag == TAG_RIGHT ? &ControlCallback::onRightSelect : &ControlCallback::onLeftSelect);
  } else if (tag == TAG_UP || tag == TAG_DOWN) {
    if (pressedLeftPadViewTag_ == TAG_DOWN) {
      clearColorFilter(controlPadDown_);
      notify(&ControlCallback::onBackRelease);
    } else if (pressedLeftPadViewTag_ == TAG_UP) {
      clearColorFilter(controlPadUp_);
      notify(&ControlCallback::onForwardRelease);
    }
    applyPressedFilter(padWithTag(tag));
    pressedLeftPadViewTag_ = tag;
    notify(tag == TAG_DOWN ? &ControlCallback::onBackSelect : &ControlCallback::onForwardSelect);
  }
}

void DirectionControlHelper::handleActionCancelOrExit(int tag) {
  if (tag == 0) return;
  if (pressedLeftPadViewTag_ == tag) {
    clearColorFilterIfPressed(tag);
    // Cleared before the event, so that a receiver calling back in sees nothing pressed.
    pressedLeftPadViewTag_ = 0;
    if (tag == TAG_DOWN) notify(&ControlCallback::onBackRelease);
    if (tag == TAG_UP) notify(&ControlCallback::onForwardRelease);
  }
  if (pressedRightPadViewTag_ == tag) {
    clearColorFilterIfPressed(tag);
    pressedRightPadViewTag_ = 0;
    if (tag == TAG_RIGHT) notify(&ControlCallback::onRightRelease);
    if (tag == TAG_LEFT) notify(&ControlCallback::onLeftRelease);
  }
}

void DirectionControlHelper::applyPressedFilter(const std::shared_ptr<ImageView>& imageView) {
  if (!imageView) return;
  if (auto image = imageView->image()) {
    imageView->setImage(image->withRenderingMode(Image::RenderingMode::alwaysTemplate));
  }
  imageView->setTintColor(pressedColor_);
}

void DirectionControlHelper::clearColorFilter(const std::shared_ptr<ImageView>& imageView) {
  if (!imageView) return;
  auto found = originalImages_.find(imageView->tag());
  if (found == originalImages_.end()) return;
  imageView->setImage(found->second);
  imageView->setTintColor(Color::clear());
}

void DirectionControlHelper::clearColorFilterIfPressed(int tag) { clearColorFilter(padWithTag(tag)); }

// ---- letting go

void DirectionControlHelper::releasePad(int tag) {
  auto pad = padWithTag(tag);
  // Cancelling the finger makes the recogniser report the release itself; a pad outside a
  // window (or a finger already gone) is released directly.
  if (pad) {
    if (auto window = pad->window()) window->cancelTouches(pad.get());
  }
  handleActionCancelOrExit(tag);
}

void DirectionControlHelper::releaseSteeringGroup() { releasePad(pressedRightPadViewTag_); }

void DirectionControlHelper::releaseThrottleGroup() { releasePad(pressedLeftPadViewTag_); }

void DirectionControlHelper::releaseWheel() {
  if (auto wheel = std::dynamic_pointer_cast<SteeringWheel>(pageSteeringWheel_)) wheel->releaseTouches();
}

void DirectionControlHelper::releaseAllInputs() {
  releaseThrottleGroup();
  releaseSteeringGroup();
  releaseWheel();
}

// ---- mode switch

void DirectionControlHelper::logState(const char* prefix) {
  std::string p(prefix);
  auto line = [&](const char* name, const std::shared_ptr<View>& view) {
    if (!view) return;
    ConsoleLog::write({"LUMOSDK: ", p, " - ", name, ": hidden=", text(view->isHidden()),
                       ", alpha=", shortestDecimal(view->alpha())});
  };
  line("右侧容器", rightControlContainer_);
  line("方向盘", pageSteeringWheel_);
}

void DirectionControlHelper::setKeyMode(bool keyMode) {
  if (keyMode == keyMode_) return;
  ConsoleLog::write({"LUMOSDK: 设置按键模式: ", text(keyMode)});
  keyMode_ = keyMode;
  // The input about to be hidden must not keep steering: nobody could let go of it.
  if (keyMode) {
    releaseWheel();
  } else {
    releaseSteeringGroup();
  }

  auto container = rightControlContainer_;
  auto wheel = pageSteeringWheel_;
  if (container && wheel) {
    if (auto parent = container->superview()) {
      wheel->setCenter(container->center());
      wheel->setBounds({0, 0, container->bounds().width(), container->bounds().height()});
      if (!wheel->superview()) parent->addSubview(wheel);
      if (wheel->superview() == parent) parent->bringSubviewToFront(wheel);
    }
  }
  if (container) container->setUserInteractionEnabled(false);
  if (wheel) wheel->setUserInteractionEnabled(false);
  // Interrupted animations complete at once; a superseded completion does nothing.
  removeAnimations(container);
  removeAnimations(wheel);
  removeAnimations(controlPadLeft_);
  removeAnimations(controlPadRight_);

  auto show = [](const std::shared_ptr<View>& view, double alpha, const AffineTransform& transform) {
    if (!view) return;
    view->setHidden(false);
    view->setAlpha(alpha);
    view->setTransform(transform);
  };
  auto showPad = [](const std::shared_ptr<ImageView>& pad) {
    if (!pad) return;
    pad->setHidden(false);
    pad->setAlpha(0);
  };
  if (keyMode) {
    ConsoleLog::write("LUMOSDK: 切换到按钮模式");
    show(wheel, 1, AffineTransform::identity());
    show(container, 0, AffineTransform::rotation(-kQuarterTurn));
    showPad(controlPadLeft_);
    showPad(controlPadRight_);
  } else {
    ConsoleLog::write("LUMOSDK: 切换到方向盘模式");
    show(container, 1, AffineTransform::identity());
    show(wheel, 0, AffineTransform::rotation(-kQuarterTurn));
  }
  logState("动画前状态");

  std::weak_ptr<DirectionControlHelper*> alive = alive_;
  auto left = controlPadLeft_, right = controlPadRight_;
  const platform::dispatch::Seconds duration(kModeAnimationDuration);
  View::transition(wheel, duration, AnimationOption::allowUserInteraction, [wheel, keyMode] {
    if (!wheel) return;
    wheel->setAlpha(keyMode ? 0 : 1);
    wheel->setTransform(keyMode ? AffineTransform::rotation(kQuarterTurn) : AffineTransform::identity());
  });
  View::transition(
      container, duration, AnimationOption::allowUserInteraction,
      [container, left, right, keyMode] {
        if (container) {
          container->setAlpha(keyMode ? 1 : 0);
          container->setTransform(keyMode ? AffineTransform::identity() : AffineTransform::rotation(kQuarterTurn));
        }
        if (keyMode) {
          if (left) left->setAlpha(1);
          if (right) right->setAlpha(1);
        }
      },
      [alive, keyMode](bool) {
        auto self = alive.lock();
        // A later switch took over: its own completion finishes the job.
        if (!self || (*self)->keyMode_ != keyMode) return;
        (*self)->finishModeAnimation(keyMode);
      });
}

void DirectionControlHelper::finishModeAnimation(bool toKeyMode) {
  auto container = rightControlContainer_;
  auto wheel = pageSteeringWheel_;
  if (toKeyMode) {
    ConsoleLog::write("LUMOSDK: 按钮模式切换动画完成");
    if (wheel) wheel->setHidden(true);
    if (container) {
      container->setHidden(false);
      container->setAlpha(1);
      container->setTransform(AffineTransform::identity());
    }
    for (const auto& pad : {controlPadLeft_, controlPadRight_}) {
      if (!pad) continue;
      pad->setHidden(false);
      pad->setAlpha(1);
    }
  } else {
    ConsoleLog::write("LUMOSDK: 方向盘切换动画完成");
    if (container) container->setHidden(true);
    if (controlPadLeft_) controlPadLeft_->setHidden(true);
    if (controlPadRight_) controlPadRight_->setHidden(true);
    if (wheel) {
      wheel->setHidden(false);
      wheel->setAlpha(1);
      wheel->setTransform(AffineTransform::identity());
    }
  }
  if (container) container->setUserInteractionEnabled(true);
  if (wheel) wheel->setUserInteractionEnabled(true);
  logState("动画后状态");
  platform::foundation::NotificationCenter::defaultCenter().post(toKeyMode ? kButtonModeAnimationCompleted
                                                                           : kSteeringWheelAnimationCompleted);
}

}  // namespace lumo
