#include "platform/dispatch/TimeKeeper.h"

#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/WorkerPool.h"

namespace platform::dispatch::detail {

TimeKeeper& TimeKeeper::instance() {
  // Never destroyed: worker threads and timers may still touch it while the process exits.
  static TimeKeeper* keeper = new TimeKeeper;
  return *keeper;
}

TimeKeeper::TimeKeeper() : systemClock_(std::make_unique<SystemClock>()) {
  clock_.store(systemClock_.get(), std::memory_order_release);
}

bool& TimeKeeper::threadCounted() {
  thread_local bool counted = false;
  return counted;
}

VirtualClock& TimeKeeper::useVirtualClock(double startWallMillis) {
  // Dropped blocks die after the lock is released: one may own the last reference to an
  // object whose destructor cancels a timer of its own.
  decltype(entries_) dropped;
  std::lock_guard lock(mutex_);
  dropped.swap(entries_);
  // The old virtual clock stays alive: a background thread may still be reading it.
  static std::deque<std::unique_ptr<VirtualClock>> retired;
  if (virtualClock_) retired.push_back(std::move(virtualClock_));
  virtualClock_ = std::make_unique<VirtualClock>(startWallMillis);
  clock_.store(virtualClock_.get(), std::memory_order_release);
  virtual_.store(true, std::memory_order_release);
  timerChanged_.notify_all();
  return *virtualClock_;
}

void TimeKeeper::setHangLimit(Seconds limit) {
  std::lock_guard lock(mutex_);
  hangLimit_ = limit;
}

EntryKey TimeKeeper::schedule(MonoTime due, std::function<void()> fire) {
  std::lock_guard lock(mutex_);
  return scheduleLocked(due, std::move(fire));
}

EntryKey TimeKeeper::scheduleLocked(MonoTime due, std::function<void()> fire) {
  EntryKey key{due, nextSeq_++};
  entries_.emplace(key, std::move(fire));
  if (!isVirtual()) {
    startTimerThreadLocked();
    timerChanged_.notify_all();
  }
  changed_.notify_all();
  return key;
}

void TimeKeeper::cancel(const EntryKey& key) {
  decltype(entries_)::node_type cancelled;
  {
    std::lock_guard lock(mutex_);
    cancelled = entries_.extract(key);
  }
  // The block dies here, without the lock (see useVirtualClock).
}

void TimeKeeper::endWork() {
  if (inFlight_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
}

void TimeKeeper::postMain(Block block) {
  std::shared_ptr<MainLoopWaiter> waiter;
  {
    std::lock_guard lock(mutex_);
    mainQueue_.push_back(std::move(block));
    waiter = waiter_;
    changed_.notify_all();
  }
  if (waiter) waiter->wake();
}

std::optional<Block> TimeKeeper::takeMain() {
  std::lock_guard lock(mutex_);
  if (mainQueue_.empty()) return std::nullopt;
  Block block = std::move(mainQueue_.front());
  mainQueue_.pop_front();
  return block;
}

void TimeKeeper::setWaiter(std::shared_ptr<MainLoopWaiter> waiter) {
  std::lock_guard lock(mutex_);
  waiter_ = std::move(waiter);
}

void TimeKeeper::stopMainLoop() {
  std::shared_ptr<MainLoopWaiter> waiter;
  {
    std::lock_guard lock(mutex_);
    stopRequested_ = true;
    waiter = waiter_;
    changed_.notify_all();
  }
  if (waiter) waiter->wake();
}

void TimeKeeper::waitOrAbort(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                             const char* what) {
  auto limit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(hangLimit_);
  if (!changed_.wait_for(lock, limit, ready)) {
    std::fprintf(stderr,
                 "platform::dispatch: virtual time stalled: %s for %.0f real seconds "
                 "(%ld blocks in flight, %zu timed entries)\n",
                 what, hangLimit_.count(), inFlight_.load(), entries_.size());
    std::abort();
  }
}

TimeKeeper::Step TimeKeeper::driveStep(std::unique_lock<std::mutex>& lock, std::optional<MonoTime> limit,
                                       const std::function<bool()>& interrupt) {
  if (inFlight_.load(std::memory_order_acquire) > 0) {
    waitOrAbort(lock, [&] { return inFlight_.load(std::memory_order_acquire) == 0 || interrupt(); },
                "waiting for background work");
    return Step::waited;
  }
  if (entries_.empty()) return Step::nothing;
  auto first = entries_.begin();
  if (limit && first->first.due > *limit) return Step::nothing;
  virtualClock_->advanceTo(first->first.due);
  std::function<void()> fire = std::move(first->second);
  entries_.erase(first);
  lock.unlock();
  fire();
  fire = nullptr;  // what it captured dies without the lock held
  lock.lock();
  return Step::fired;
}

bool TimeKeeper::runMainLoop(const std::function<bool()>* condition, std::optional<MonoTime> end) {
  std::unique_lock lock(mutex_);
  while (true) {
    if (stopRequested_) {
      stopRequested_ = false;
      return false;
    }
    if (!mainQueue_.empty()) {
      Block block = std::move(mainQueue_.front());
      mainQueue_.pop_front();
      lock.unlock();
      block();
      block = nullptr;  // captured state dies before the condition is checked
      if (condition && (*condition)()) return true;
      lock.lock();
      continue;
    }
    lock.unlock();
    if (condition && (*condition)()) return true;
    lock.lock();
    if (!mainQueue_.empty() || stopRequested_) continue;

    if (isVirtual()) {
      Step step = driveStep(lock, end, [&] { return !mainQueue_.empty() || stopRequested_; });
      if (step == Step::nothing) {
        if (end) virtualClock_->advanceTo(*end);
        return false;
      }
      continue;
    }

    // Real time: the timer thread posts due timers; wait for a post, the end, or a short slice
    // so that a condition set by a background thread is seen.
    if (end && clock().now() >= *end) return false;
    auto deadline = std::chrono::steady_clock::time_point::max();
    if (end) deadline = std::chrono::steady_clock::now() + (*end - clock().now());
    if (condition) deadline = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
    std::shared_ptr<MainLoopWaiter> waiter = waiter_;
    if (waiter) {
      lock.unlock();
      waiter->waitUntil(deadline);
      lock.lock();
    } else {
      changed_.wait_until(lock, deadline, [&] { return !mainQueue_.empty() || stopRequested_; });
    }
  }
}

void TimeKeeper::wakeLocked(Waiter& waiter) {
  if (waiter.woken) return;
  waiter.woken = true;
  if (waiter.counted) inFlight_.fetch_add(1, std::memory_order_acq_rel);
  changed_.notify_all();
}

void TimeKeeper::block(std::unique_lock<std::mutex>& lock, Waiter& waiter) {
  bool& counted = threadCounted();
  waiter.counted = counted;
  if (counted) {
    counted = false;
    if (inFlight_.fetch_sub(1, std::memory_order_acq_rel) == 1) changed_.notify_all();
  }
  bool worker = WorkerPool::isWorkerThread();
  if (worker) {
    lock.unlock();
    WorkerPool::current().workerBlocked();
    lock.lock();
  }
  if (isVirtual() && MainLoop::isMainThread()) {
    while (!waiter.woken) {
      if (driveStep(lock, std::nullopt, [&] { return waiter.woken; }) == Step::nothing) {
        // Only a thread outside the queues can wake us now, or new work may appear.
        std::uint64_t seq = nextSeq_;
        waitOrAbort(lock,
                    [&] { return waiter.woken || nextSeq_ != seq || inFlight_.load() > 0; },
                    "the main thread waiting with nothing scheduled");
      }
    }
  } else {
    changed_.wait(lock, [&] { return waiter.woken; });
  }
  if (worker) {
    lock.unlock();
    WorkerPool::current().workerUnblocked();
    lock.lock();
  }
  counted = waiter.counted;  // the waker already counted us in again
}

void TimeKeeper::startTimerThreadLocked() {
  if (timerThreadStarted_) return;
  timerThreadStarted_ = true;
  std::thread([this] { timerThreadLoop(); }).detach();
}

void TimeKeeper::timerThreadLoop() {
  std::unique_lock lock(mutex_);
  while (true) {
    if (isVirtual() || entries_.empty()) {
      timerChanged_.wait(lock);
      continue;
    }
    auto first = entries_.begin();
    MonoTime now = clock().now();
    if (first->first.due > now) {
      timerChanged_.wait_for(lock, first->first.due - now);
      continue;
    }
    std::function<void()> fire = std::move(first->second);
    entries_.erase(first);
    lock.unlock();
    fire();
    fire = nullptr;  // what it captured dies without the lock held
    lock.lock();
  }
}

}  // namespace platform::dispatch::detail
