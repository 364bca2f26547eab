#include "platform/ui/DisplayLink.h"

#include <cmath>

#include "platform/dispatch/Scheduler.h"

namespace platform::ui {

double mediaTime() { return std::chrono::duration<double>(dispatch::Scheduler::clock().now()).count(); }

std::shared_ptr<DisplayLink> DisplayLink::make(Handler handler) {
  return std::shared_ptr<DisplayLink>(new DisplayLink(std::move(handler)));
}

DisplayLink::~DisplayLink() {
  if (timer_) timer_->invalidate();
}

void DisplayLink::add() {
  if (!valid_ || !paused_) return;
  paused_ = false;
  origin_ = mediaTime();
  next_ = 1;
  timestamp_ = origin_;
  armNext();
}

void DisplayLink::setPaused(bool paused) {
  if (paused == paused_ || !valid_) return;
  if (paused) {
    paused_ = true;
    if (timer_) timer_->invalidate();
    timer_.reset();
  } else {
    add();
  }
}

void DisplayLink::invalidate() {
  valid_ = false;
  paused_ = true;
  if (timer_) timer_->invalidate();
  timer_.reset();
  handler_ = nullptr;
}

void DisplayLink::armNext() {
  // Each frame is a one-shot timer at origin + n/60, so rounding never accumulates.
  double now = mediaTime();
  double due = origin_ + static_cast<double>(next_) / kFramesPerSecond;
  if (due < now) {
    // A late main loop (real time) skips the frames it missed instead of firing them in a burst.
    next_ = static_cast<std::uint64_t>(std::floor((now - origin_) * kFramesPerSecond)) + 1;
    due = origin_ + static_cast<double>(next_) / kFramesPerSecond;
  }
  double wait = std::max(0.0, due - now);
  std::weak_ptr<DisplayLink> weak = weak_from_this();
  timer_ = dispatch::Timer::scheduled(dispatch::Seconds(wait), false, [weak](dispatch::Timer&) {
    if (auto self = weak.lock()) self->fire();
  });
}

void DisplayLink::fire() {
  if (!valid_ || paused_) return;
  auto keep = shared_from_this();  // the handler may drop the last outside reference
  timestamp_ = origin_ + static_cast<double>(next_) / kFramesPerSecond;
  ++next_;
  ++frames_;
  armNext();
  if (handler_) {
    auto handler = handler_;
    handler(*this);
  }
}

}  // namespace platform::ui
