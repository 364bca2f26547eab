#include "platform/ui/DisplayLink.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/MainLoop.h"
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
  ++deferral_;
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
    ++deferral_;
  } else {
    add();
  }
}

void DisplayLink::invalidate() {
  valid_ = false;
  paused_ = true;
  ++deferral_;
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

double DisplayLink::typicalFrameTime() const {
  return *std::max_element(recentFrameTimes_.begin(), recentFrameTimes_.end());
}

void DisplayLink::deferPastStrictTimer() {
  if (timer_) timer_->invalidate();  // nothing else may deliver this frame meanwhile
  timer_.reset();
  dispatch::MainLoop::postAfterStrictTimer([weak = weak_from_this(), deferral = ++deferral_] {
    auto self = weak.lock();
    if (self && self->deferral_ == deferral) self->fire();
  });
}

void DisplayLink::fire() {
  if (!valid_ || paused_) return;
  // A frame that would still be drawing when the command loop's tick falls due waits for that
  // tick; with no recorded cost (virtual time) nothing ever waits.
  double typical = typicalFrameTime();
  if (typical > 0) {
    if (auto due = dispatch::MainLoop::nextStrictTimerDue()) {
      double dueSeconds = std::chrono::duration<double>(*due).count();
      if (dueSeconds < mediaTime() + typical) {
        deferPastStrictTimer();
        return;
      }
    }
  }
  auto keep = shared_from_this();  // the handler may drop the last outside reference
  timestamp_ = origin_ + static_cast<double>(next_) / kFramesPerSecond;
  ++next_;
  ++frames_;
  armNext();
  if (handler_) {
    auto handler = handler_;
    double start = mediaTime();
    handler(*this);
    recentFrameTimes_[frames_ % recentFrameTimes_.size()] = mediaTime() - start;
  }
}

}  // namespace platform::ui
