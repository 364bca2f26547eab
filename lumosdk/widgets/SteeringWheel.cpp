#include "lumosdk/widgets/SteeringWheel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/foundation/KeyedArchive.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/HapticFeedback.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/Window.h"

namespace lumo {

using namespace platform::ui;

namespace {
constexpr double kQuarterTurn = std::numbers::pi / 2;
}

std::shared_ptr<SteeringWheel> SteeringWheel::make(const Rect& frame) {
  auto wheel = std::make_shared<SteeringWheel>(frame);
  wheel->setup();
  return wheel;
}

std::shared_ptr<SteeringWheel> SteeringWheel::make(const platform::foundation::KeyedArchive& archive) {
  auto wheel = std::make_shared<SteeringWheel>(archive);
  wheel->setup();
  return wheel;
}

SteeringWheel::SteeringWheel(const Rect& frame) : View(frame) {}

SteeringWheel::SteeringWheel(const platform::foundation::KeyedArchive& archive) : View(archive) {}

void SteeringWheel::setup() {
  checkVibrationAvailability();
  imageView_ = ImageView::make();
  imageView_->setContentMode(ContentMode::scaleAspectFit);
  imageView_->setImage(wheelImage_ ? wheelImage_ : Image::named("steering_wheel"));
  imageView_->setTranslatesAutoresizingMaskIntoConstraints(false);
  addSubview(imageView_);
  LayoutConstraint::activate({
      imageView_->topAnchor().constraintEqualTo(topAnchor()),
      imageView_->bottomAnchor().constraintEqualTo(bottomAnchor()),
      imageView_->leadingAnchor().constraintEqualTo(leadingAnchor()),
      imageView_->trailingAnchor().constraintEqualTo(trailingAnchor()),
  });
  std::weak_ptr<SteeringWheel> weak = std::static_pointer_cast<SteeringWheel>(shared_from_this());
  addGestureRecognizer(std::make_shared<TapGestureRecognizer>([weak](GestureRecognizer&) {
    if (auto self = weak.lock()) self->handleTap();
  }));
  setUserInteractionEnabled(true);
}

void SteeringWheel::setWheelImage(std::shared_ptr<Image> image) {
  wheelImage_ = std::move(image);
  if (imageView_) imageView_->setImage(wheelImage_);
}

void SteeringWheel::vibrate() {
  if (!vibrationSupported_) return;
  ImpactFeedbackGenerator generator(ImpactFeedbackGenerator::Style::medium);
  generator.impactOccurred();
}

void SteeringWheel::handleTap() { vibrate(); }

Point SteeringWheel::offsetFromCentre(const Touch& touch) const {
  Point p = touch.locationIn(this);
  Rect b = bounds();
  return {p.x - b.midX(), p.y - b.midY()};
}

void SteeringWheel::touchesBegan(const TouchSet& touches) {
  View::touchesBegan(touches);
  for (const auto& touch : touches) {
    if (std::find(fingers_.begin(), fingers_.end(), touch.get()) == fingers_.end()) fingers_.push_back(touch.get());
  }
  if (fingers_.size() >= 2 || touches.empty()) return;
  vibrate();
  // A touch below the centre turns the wheel at once to the lock on its side; one above
  // waits until it moves.
  Point d = offsetFromCentre(*touches.front());
  if (d.y > 0) rotateWheel(d.x < 0 ? -kQuarterTurn : kQuarterTurn);
}

void SteeringWheel::touchesMoved(const TouchSet& touches) {
  View::touchesMoved(touches);
  if (fingers_.size() >= 2) return;
  for (const auto& touch : touches) {
    // Only a counted finger steers: one let go by releaseTouches() does not take it back.
    if (std::find(fingers_.begin(), fingers_.end(), touch.get()) == fingers_.end()) continue;
    handleRotation(*touch);
    return;
  }
}

void SteeringWheel::touchesEnded(const TouchSet& touches) {
  View::touchesEnded(touches);
  lift(touches);
}

void SteeringWheel::touchesCancelled(const TouchSet& touches) {
  View::touchesCancelled(touches);
  lift(touches);
}

void SteeringWheel::lift(const TouchSet& touches) {
  for (const auto& touch : touches) {
    fingers_.erase(std::remove(fingers_.begin(), fingers_.end(), touch.get()), fingers_.end());
  }
  if (fingers_.empty()) rotateWheel(0);
}

void SteeringWheel::releaseTouches() {
  // The window's cancellation lifts the fingers as the system would; a wheel outside a
  // window still forgets them below.
  if (auto w = window()) w->cancelTouches(this);
  fingers_.clear();
  rotateWheel(0);
}

void SteeringWheel::handleRotation(const Touch& touch) {
  Point d = offsetFromCentre(touch);
  // Clockwise from 12 o'clock (y grows downward): 0 at the top, pi/2 at 3 o'clock.
  double theta = std::atan2(d.y, d.x) + kQuarterTurn;
  bool lowerHalf = theta >= kQuarterTurn && theta <= 3 * kQuarterTurn;
  // In the lower half the wheel holds the lock on the side it is already turned to.
  if (lowerHalf && angle_ < 0) {
    theta = -kQuarterTurn;
  } else if (lowerHalf && angle_ > 0) {
    theta = kQuarterTurn;
  }
  rotateWheel(theta);
}

void SteeringWheel::rotateWheel(double angle) {
  angle = std::clamp(angle, -kQuarterTurn, kQuarterTurn);
  if (angle == angle_) return;
  angle_ = angle;
  if (imageView_) imageView_->setTransform(AffineTransform::rotation(angle_));
  if (onAngleChanged) {
    auto listener = onAngleChanged;  // the listener may replace itself
    listener(angle_ / kQuarterTurn);
  }
}

}  // namespace lumo
