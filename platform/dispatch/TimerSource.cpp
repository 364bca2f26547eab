#include "platform/dispatch/TimerSource.h"

#include <mutex>

#include "platform/dispatch/TimeKeeper.h"

namespace platform::dispatch {

using detail::EntryKey;
using detail::TimeKeeper;

struct TimerSource::State : std::enable_shared_from_this<TimerSource::State> {
  std::mutex mutex;
  std::shared_ptr<DispatchQueue> queue;
  Block handler;
  MonoTime deadline{0};
  MonoTime interval{0};
  bool scheduled = false;
  bool resumed = false;
  bool cancelled = false;
  bool strict = false;
  std::optional<EntryKey> entry;

  // Lock held. Puts the next fire on the clock's list.
  void armLocked(MonoTime due) {
    auto fireAt = [weak = weak_from_this(), due] {
      if (auto self = weak.lock()) self->fire(due);
    };
    auto& keeper = TimeKeeper::instance();
    entry = strict ? keeper.scheduleStrict(due, std::move(fireAt)) : keeper.schedule(due, std::move(fireAt));
  }

  void fire(MonoTime due) {
    std::lock_guard lock(mutex);
    entry.reset();
    if (cancelled) return;
    Block handle = [weak = weak_from_this()] {
      auto self = weak.lock();
      if (!self) return;
      Block run;
      {
        std::lock_guard inner(self->mutex);
        if (self->cancelled) return;
        run = self->handler;
      }
      if (run) run();
    };
    if (strict && queue->kind() == DispatchQueue::Kind::main) {
      TimeKeeper::instance().postMainUrgent(std::move(handle));
    } else {
      queue->async(std::move(handle));
    }
    if (interval.count() > 0) {
      // Stay on the original grid; a late fire (real time) skips the missed ones.
      MonoTime next = due + interval;
      MonoTime now = TimeKeeper::instance().clock().now();
      while (next <= now) next += interval;
      armLocked(next);
    }
  }

  void disarmLocked() {
    if (entry) TimeKeeper::instance().cancel(*entry);
    entry.reset();
  }
};

std::shared_ptr<TimerSource> TimerSource::make(std::shared_ptr<DispatchQueue> queue) {
  return make(std::move(queue), Flags::none);
}

std::shared_ptr<TimerSource> TimerSource::make(std::shared_ptr<DispatchQueue> queue, Flags flags) {
  std::shared_ptr<TimerSource> source(new TimerSource(std::move(queue)));
  source->state_->strict = flags == Flags::strict;
  return source;
}

TimerSource::TimerSource(std::shared_ptr<DispatchQueue> queue) : state_(std::make_shared<State>()) {
  state_->queue = queue ? std::move(queue) : DispatchQueue::global();
}

TimerSource::~TimerSource() { cancel(); }

void TimerSource::schedule(Seconds deadline, Seconds interval) {
  std::lock_guard lock(state_->mutex);
  if (state_->cancelled) return;
  auto& keeper = TimeKeeper::instance();
  state_->deadline = keeper.clock().now() + detail::toMono(deadline);
  state_->interval = detail::toMono(interval);
  state_->scheduled = true;
  if (state_->resumed) {
    state_->disarmLocked();
    state_->armLocked(state_->deadline);
  }
}

void TimerSource::setEventHandler(Block handler) {
  std::lock_guard lock(state_->mutex);
  state_->handler = std::move(handler);
}

void TimerSource::resume() {
  std::lock_guard lock(state_->mutex);
  if (state_->cancelled || state_->resumed) return;
  state_->resumed = true;
  if (state_->scheduled) state_->armLocked(state_->deadline);
}

void TimerSource::cancel() {
  std::lock_guard lock(state_->mutex);
  if (state_->cancelled) return;
  state_->cancelled = true;
  state_->disarmLocked();
  state_->handler = nullptr;
}

bool TimerSource::isCancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

}  // namespace platform::dispatch
