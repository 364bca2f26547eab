#include "platform/ui/GestureRecognizer.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/View.h"

namespace platform::ui {

void GestureRecognizer::setState(State state) {
  if (state == state_ && state != State::changed) return;
  state_ = state;
  if (state == State::possible || state == State::failed) return;
  auto keep = shared_from_this();  // a target may remove the recogniser from its view
  auto actions = actions_;
  for (const auto& action : actions) action(*this);
}

void GestureRecognizer::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled && (state_ == State::began || state_ == State::changed)) setState(State::cancelled);
}

Point GestureRecognizer::locationIn(const View* view) const {
  if (touches_.empty()) return {};
  Point sum{};
  for (const auto& t : touches_) {
    Point p = t->locationIn(view);
    sum.x += p.x;
    sum.y += p.y;
  }
  return {sum.x / touches_.size(), sum.y / touches_.size()};
}

void GestureRecognizer::touchesBegan(const TouchSet&) {}
void GestureRecognizer::touchesMoved(const TouchSet&) {}
void GestureRecognizer::touchesEnded(const TouchSet&) {}
void GestureRecognizer::touchesCancelled(const TouchSet&) {}

void GestureRecognizer::trackTouch(const std::shared_ptr<Touch>& touch) {
  if (!tracks(touch.get())) touches_.push_back(touch);
}

void GestureRecognizer::untrackTouch(const std::shared_ptr<Touch>& touch) {
  touches_.erase(std::remove(touches_.begin(), touches_.end(), touch), touches_.end());
}

bool GestureRecognizer::tracks(const Touch* touch) const {
  return std::any_of(touches_.begin(), touches_.end(), [touch](const auto& t) { return t.get() == touch; });
}

void GestureRecognizer::resetIfDone() {
  if (!touches_.empty()) return;
  if (state_ != State::possible) {
    state_ = State::possible;
  }
  reset();
}

void TapGestureRecognizer::touchesBegan(const TouchSet& touches) {
  if (numberOfTouches() > 1) {
    setState(State::failed);
    return;
  }
  if (!touches.empty()) start_ = touches.front()->windowLocation();
}

void TapGestureRecognizer::touchesMoved(const TouchSet& touches) {
  for (const auto& t : touches) {
    Point p = t->windowLocation();
    if (std::hypot(p.x - start_.x, p.y - start_.y) > kAllowableMovement) setState(State::failed);
  }
}

void TapGestureRecognizer::touchesEnded(const TouchSet&) {
  if (state() == State::possible) setState(State::ended);
}

void TapGestureRecognizer::touchesCancelled(const TouchSet&) { setState(State::failed); }

}  // namespace platform::ui
