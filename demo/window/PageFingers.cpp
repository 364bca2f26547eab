#include "demo/window/PageFingers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "demo/host/ScreenText.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace demo {

using platform::ui::Application;
using platform::ui::Point;
using platform::ui::View;

namespace {

// The page's pads carry these tags (up, down, left, right).
constexpr int kFirstPadTag = lumo::DirectionControlHelper::TAG_UP;
constexpr int kLastPadTag = lumo::DirectionControlHelper::TAG_RIGHT;
constexpr int kWheelFinger = 8;
constexpr int kTapFinger = 9;
// The largest step a sliding finger takes along the rim between two reported moves.
constexpr double kWheelStepDegrees = 30;
// Past 3 o'clock the wheel holds the lock on the side it is turned to: a finger there holds
// exactly full lock, where one at 3 o'clock could land a rounding error short of it.
constexpr double kFullLockDegrees = 100;

Point centreOf(const View& view) { return view.convertRectTo(view.bounds(), nullptr).center(); }

// A pad inside a hidden container (the side pads in wheel mode) cannot be touched.
bool isShown(const View& view) {
  for (const View* v = &view; v; v = v->superview().get()) {
    if (v->isHidden() || v->alpha() <= 0) return false;
  }
  return true;
}

// A point on the wheel's rim at `degrees` clockwise from its top, in window coordinates.
Point onWheel(const View& wheel, double degrees) {
  auto box = wheel.convertRectTo(wheel.bounds(), nullptr);
  double radius = std::min(box.width(), box.height()) * 0.4;
  double radians = degrees * std::numbers::pi / 180;
  return {box.midX() + radius * std::sin(radians), box.midY() - radius * std::cos(radians)};
}

}  // namespace

PageFingers::PageFingers(int firstFinger) : firstFinger_(firstFinger) {}

PageFingers::~PageFingers() { releaseAll(); }

bool PageFingers::press(int padTag) {
  if (padTag < kFirstPadTag || padTag > kLastPadTag || pads_.count(padTag)) return false;
  auto window = Application::shared().keyWindow();
  auto pad = window ? window->viewWithTag(padTag) : nullptr;
  if (!pad || !isShown(*pad)) return false;
  Held held{window, pad, firstFinger_ + (padTag - kFirstPadTag), centreOf(*pad)};
  pads_[padTag] = held;
  window->touchDown(held.finger, held.at);
  return true;
}

void PageFingers::release(int padTag) {
  auto found = pads_.find(padTag);
  if (found == pads_.end()) return;
  Held held = found->second;
  pads_.erase(found);
  auto window = held.window.lock();
  if (!window) return;
  auto pad = held.view.lock();
  if (pad && pad->window() == window) {
    window->touchUp(held.finger, centreOf(*pad));
  } else {
    window->touchCancel(held.finger);
  }
}

bool PageFingers::turnWheel(double normalised) {
  normalised = std::clamp(normalised, -1.0, 1.0);
  if (!wheel_) {
    auto window = Application::shared().keyWindow();
    auto wheel = window ? ScreenText::findByType(*window, "SteeringWheel") : nullptr;
    if (!wheel) return false;
    // Touching down at the top turns nothing; the slide to the angle does.
    wheel_ = Held{window, wheel, firstFinger_ + kWheelFinger, onWheel(*wheel, 0)};
    wheelDegrees_ = 0;
    window->touchDown(wheel_->finger, wheel_->at);
  }
  double target = std::fabs(normalised) >= 1 ? std::copysign(kFullLockDegrees, normalised) : normalised * 90;
  int steps = static_cast<int>(std::ceil(std::fabs(target - wheelDegrees_) / kWheelStepDegrees));
  double from = wheelDegrees_;
  for (int step = 1; step <= steps; ++step) moveWheelFinger(from + (target - from) * step / steps);
  return true;
}

void PageFingers::moveWheelFinger(double degrees) {
  auto window = wheel_->window.lock();
  auto wheel = wheel_->view.lock();
  wheelDegrees_ = degrees;
  if (!window || !wheel) return;
  wheel_->at = onWheel(*wheel, degrees);
  window->touchMove(wheel_->finger, wheel_->at);
}

void PageFingers::letGoOfWheel() {
  if (!wheel_) return;
  Held held = *wheel_;
  wheel_.reset();
  wheelDegrees_ = 0;
  auto window = held.window.lock();
  if (!window) return;
  auto wheel = held.view.lock();
  if (wheel && wheel->window() == window) {
    window->touchUp(held.finger, held.at);
  } else {
    window->touchCancel(held.finger);
  }
}

bool PageFingers::tap(const std::string& text) {
  auto window = Application::shared().keyWindow();
  if (!window) return false;
  auto found = ScreenText::find(*window, text);
  if (found.empty()) return false;
  const auto& view = found.back();
  Point at = view->convertRectTo(view->bounds(), nullptr).intersection(window->bounds()).center();
  window->touchDown(firstFinger_ + kTapFinger, at);
  window->touchUp(firstFinger_ + kTapFinger, at);
  return true;
}

void PageFingers::releaseAll() {
  while (!pads_.empty()) release(pads_.begin()->first);
  letGoOfWheel();
}

}  // namespace demo
