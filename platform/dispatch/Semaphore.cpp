#include "platform/dispatch/Semaphore.h"

#include <algorithm>
#include <deque>

#include "platform/dispatch/TimeKeeper.h"

namespace platform::dispatch {

using detail::TimeKeeper;

// Guarded by the time keeper's mutex, so that a signal and a time-out never both wake a waiter.
struct Semaphore::State {
  long count = 0;
  std::deque<TimeKeeper::Waiter*> waiters;
};

Semaphore::Semaphore(long count) : state_(std::make_shared<State>()) { state_->count = count; }

Semaphore::~Semaphore() = default;

void Semaphore::signal() {
  auto& keeper = TimeKeeper::instance();
  std::lock_guard lock(keeper.mutex());
  if (state_->waiters.empty()) {
    ++state_->count;
    return;
  }
  TimeKeeper::Waiter* waiter = state_->waiters.front();
  state_->waiters.pop_front();
  keeper.wakeLocked(*waiter);
}

void Semaphore::wait() {
  auto& keeper = TimeKeeper::instance();
  std::unique_lock lock(keeper.mutex());
  if (state_->count > 0) {
    --state_->count;
    return;
  }
  TimeKeeper::Waiter waiter;
  state_->waiters.push_back(&waiter);
  keeper.block(lock, waiter);
}

bool Semaphore::waitFor(Seconds timeout) {
  auto& keeper = TimeKeeper::instance();
  std::unique_lock lock(keeper.mutex());
  if (state_->count > 0) {
    --state_->count;
    return true;
  }
  if (timeout <= Seconds{0}) return false;
  // Shared with the time-out entry, which may still be firing when the wait has ended.
  auto waiter = std::make_shared<TimeKeeper::Waiter>();
  state_->waiters.push_back(waiter.get());
  MonoTime due = keeper.clock().now() + detail::toMono(timeout);
  detail::EntryKey key = keeper.scheduleLocked(due, [&keeper, waiter, weakState = std::weak_ptr<State>(state_)] {
    std::lock_guard inner(keeper.mutex());
    auto state = weakState.lock();
    if (!state || waiter->woken) return;
    auto& waiters = state->waiters;
    waiters.erase(std::remove(waiters.begin(), waiters.end(), waiter.get()), waiters.end());
    waiter->timedOut = true;
    keeper.wakeLocked(*waiter);
  });
  keeper.block(lock, *waiter);
  lock.unlock();
  keeper.cancel(key);
  return !waiter->timedOut;
}

}  // namespace platform::dispatch
