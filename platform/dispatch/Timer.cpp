#include "platform/dispatch/Timer.h"

#include <mutex>

#include "platform/dispatch/TimeKeeper.h"

namespace platform::dispatch {

using detail::EntryKey;
using detail::TimeKeeper;

struct Timer::State {
  std::mutex mutex;
  Handler handler;
  std::shared_ptr<Timer> keepAlive;  // the run loop's reference while valid
  std::optional<EntryKey> entry;
  bool valid = true;
};

namespace {

void arm(const std::shared_ptr<Timer::State>& state, MonoTime due, MonoTime interval, bool repeats);

// The clock's entry fired: the handler runs on the main queue; a repeating timer re-arms now,
// so main-queue latency never shifts its grid.
void onDue(const std::weak_ptr<Timer::State>& weak, MonoTime due, MonoTime interval, bool repeats) {
  auto state = weak.lock();
  if (!state) return;
  {
    std::lock_guard lock(state->mutex);
    state->entry.reset();
    if (!state->valid) return;
    if (repeats) {
      MonoTime next = due + interval;
      MonoTime now = TimeKeeper::instance().clock().now();
      while (next <= now) next += interval;
      arm(state, next, interval, repeats);
    }
  }
  TimeKeeper::instance().postMain([weak] {
    auto state = weak.lock();
    if (!state) return;
    std::shared_ptr<Timer> timer;
    {
      std::lock_guard lock(state->mutex);
      if (!state->valid) return;
      timer = state->keepAlive;
    }
    if (timer) timer->fire();
  });
}

// Lock held.
void arm(const std::shared_ptr<Timer::State>& state, MonoTime due, MonoTime interval, bool repeats) {
  state->entry = TimeKeeper::instance().schedule(
      due, [weak = std::weak_ptr<Timer::State>(state), due, interval, repeats] { onDue(weak, due, interval, repeats); });
}

}  // namespace

std::shared_ptr<Timer> Timer::scheduled(Seconds interval, bool repeats, Handler handler) {
  std::shared_ptr<Timer> timer(new Timer(interval, repeats, std::move(handler)));
  MonoTime step = detail::toMono(interval);
  // NSTimer treats a non-positive interval as 0.1 ms; a repeating zero interval would spin.
  if (step.count() <= 0) step = std::chrono::microseconds(100);
  std::lock_guard lock(timer->state_->mutex);
  timer->state_->keepAlive = timer;
  arm(timer->state_, TimeKeeper::instance().clock().now() + step, step, repeats);
  return timer;
}

Timer::Timer(Seconds interval, bool repeats, Handler handler)
    : state_(std::make_shared<State>()), interval_(interval), repeats_(repeats) {
  state_->handler = std::move(handler);
}

Timer::~Timer() = default;

void Timer::invalidate() {
  std::shared_ptr<Timer> release;  // dropped after the lock, possibly destroying this
  std::lock_guard lock(state_->mutex);
  if (!state_->valid) return;
  state_->valid = false;
  if (state_->entry) TimeKeeper::instance().cancel(*state_->entry);
  state_->entry.reset();
  release = std::move(state_->keepAlive);
  state_->handler = nullptr;
}

bool Timer::isValid() const {
  std::lock_guard lock(state_->mutex);
  return state_->valid;
}

void Timer::fire() {
  Handler handler;
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->valid) return;
    handler = state_->handler;
  }
  auto self = shared_from_this();  // the handler may invalidate and release the timer
  if (handler) handler(*this);
  if (!repeats_) invalidate();
}

}  // namespace platform::dispatch
