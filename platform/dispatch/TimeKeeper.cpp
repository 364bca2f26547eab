#include "platform/dispatch/TimeKeeper.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/WorkerPool.h"
#include "platform/foundation/SystemLog.h"

namespace platform::dispatch::detail {
namespace {

// Static initialisation runs on the process's initial thread, which is the main thread.
const ThreadPriority::Thread kMainThread = ThreadPriority::Thread::current();

// How long the strict thread leaves a due entry to the main thread that sleeps to it.
constexpr MonoTime kMainThreadGrace = std::chrono::milliseconds(1);

}  // namespace

TimeKeeper& TimeKeeper::instance() {
  // Never destroyed: worker threads and timers may still touch it while the process exits.
  static TimeKeeper* keeper = new TimeKeeper;
  return *keeper;
}

TimeKeeper::TimeKeeper() : systemClock_(std::make_unique<SystemClock>()) {
  // Priority inheritance: the strict timer thread and a raised main thread take this lock as
  // well as normal and low-priority workers, and must not wait behind a holder that ordinary
  // load keeps off a core. glibc's condition variables take such a mutex as they are.
  pthread_mutexattr_t attributes;
  ::pthread_mutexattr_init(&attributes);
  ::pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
  ::pthread_mutex_destroy(mutex_.native_handle());
  ::pthread_mutex_init(mutex_.native_handle(), &attributes);
  ::pthread_mutexattr_destroy(&attributes);
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
  decltype(strictEntries_) droppedStrict;
  std::lock_guard lock(mutex_);
  dropped.swap(entries_);
  droppedStrict.swap(strictEntries_);
  // The old virtual clock stays alive: a background thread may still be reading it.
  static std::deque<std::unique_ptr<VirtualClock>> retired;
  if (virtualClock_) retired.push_back(std::move(virtualClock_));
  virtualClock_ = std::make_unique<VirtualClock>(startWallMillis);
  clock_.store(virtualClock_.get(), std::memory_order_release);
  virtual_.store(true, std::memory_order_release);
  timerChanged_.notify_all();
  strictChanged_.notify_all();
  return *virtualClock_;
}

void TimeKeeper::setHangLimit(Seconds limit) {
  std::lock_guard lock(mutex_);
  hangLimit_ = limit;
}

EntryKey TimeKeeper::schedule(MonoTime due, std::function<void()> fire) {
  std::lock_guard lock(mutex_);
  return insertLocked(due, std::move(fire), false);
}

EntryKey TimeKeeper::scheduleLocked(MonoTime due, std::function<void()> fire) {
  return insertLocked(due, std::move(fire), false);
}

EntryKey TimeKeeper::scheduleStrict(MonoTime due, std::function<void()> fire) {
  std::lock_guard lock(mutex_);
  return insertLocked(due, std::move(fire), true);
}

EntryKey TimeKeeper::insertLocked(MonoTime due, std::function<void()> fire, bool strict) {
  // One sequence for both lists, so that virtual time fires them in one order.
  EntryKey key{due, nextSeq_++};
  (strict ? strictEntries_ : entries_).emplace(key, std::move(fire));
  if (!isVirtual() && strict) {
    startStrictTimerThreadLocked();
    // The strict thread wakes for an entry earlier than its own sleep only.
    if (due < strictSleepsUntil_) strictChanged_.notify_all();
  } else if (!isVirtual()) {
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
    if (cancelled.empty()) {
      cancelled = strictEntries_.extract(key);
      // No strict handler will come to release what waits for one.
      if (strictEntries_.empty() && urgentMainQueue_.empty()) releaseAfterStrictLocked();
    }
  }
  // The block dies here, without the lock (see useVirtualClock).
}

std::optional<MonoTime> TimeKeeper::nextStrictDue() {
  std::lock_guard lock(mutex_);
  if (!urgentMainQueue_.empty()) return clock().now();
  if (strictEntries_.empty()) return std::nullopt;
  return strictEntries_.begin()->first.due;
}

std::optional<ThreadPriority> TimeKeeper::strictTimerPriority() {
  std::lock_guard lock(mutex_);
  return strictPriority_;
}

void TimeKeeper::endWork() {
  if (inFlight_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }
}

void TimeKeeper::postMain(Block block) {
  // What an urgent block posts runs right after it; the main thread alone touches that list,
  // so a tick takes no lock here that a thread on a stalled core could be holding.
  if (MainLoop::isMainThread() && runningUrgent_) {
    followUps_.push_back(std::move(block));
    return;
  }
  std::shared_ptr<MainLoopWaiter> waiter;
  {
    std::lock_guard lock(mutex_);
    mainQueue_.push_back(std::move(block));
    waiter = waiter_;
    changed_.notify_all();
  }
  if (waiter) waiter->wake();
}

void TimeKeeper::postMainUrgent(Block block) {
  std::shared_ptr<MainLoopWaiter> waiter;
  {
    std::lock_guard lock(mutex_);
    urgentMainQueue_.push_back(std::move(block));
    raiseMainLocked();
    waiter = waiter_;
    changed_.notify_all();
  }
  if (waiter) waiter->wake();
}

void TimeKeeper::postMainAfterStrict(Block block) {
  {
    std::lock_guard lock(mutex_);
    if (!strictEntries_.empty() || !urgentMainQueue_.empty()) {
      afterStrict_.push_back(std::move(block));
      return;
    }
  }
  postMain(std::move(block));
}

void TimeKeeper::releaseAfterStrictLocked() {
  while (!afterStrict_.empty()) {
    mainQueue_.push_back(std::move(afterStrict_.front()));
    afterStrict_.pop_front();
  }
}

std::optional<Block> TimeKeeper::popMainLocked() {
  auto& queue = !urgentMainQueue_.empty() ? urgentMainQueue_ : !followUps_.empty() ? followUps_ : mainQueue_;
  if (queue.empty()) return std::nullopt;
  Block block = std::move(queue.front());
  queue.pop_front();
  return block;
}

std::optional<Block> TimeKeeper::takeMain() {
  std::lock_guard lock(mutex_);
  return popMainLocked();
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
                 what, hangLimit_.count(), inFlight_.load(), entries_.size() + strictEntries_.size());
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
  // The earliest of both lists; keys share one sequence, so the order is that of one list.
  auto* list = &entries_;
  if (list->empty() || (!strictEntries_.empty() && strictEntries_.begin()->first < list->begin()->first)) {
    list = &strictEntries_;
  }
  if (list->empty()) return Step::nothing;
  auto first = list->begin();
  if (limit && first->first.due > *limit) return Step::nothing;
  virtualClock_->advanceTo(first->first.due);
  std::function<void()> fire = std::move(first->second);
  list->erase(first);
  lock.unlock();
  fire();
  fire = nullptr;  // what it captured dies without the lock held
  lock.lock();
  return Step::fired;
}

bool TimeKeeper::raiseMainLocked() {
  if (isVirtual() || !strictPriority_ || strictPriority_->kind == ThreadPriority::Kind::normal) return false;
  if (!mainOwnPriority_) {
    ThreadPriority own = ThreadPriority::of(kMainThread);
    if (ThreadPriority::applyTo(kMainThread, *strictPriority_)) mainOwnPriority_ = own;
  }
  return mainOwnPriority_.has_value();
}

void TimeKeeper::restoreMainPriorityLocked() {
  if (!mainOwnPriority_) return;
  ThreadPriority::applyTo(kMainThread, *mainOwnPriority_);
  mainOwnPriority_.reset();
}

bool TimeKeeper::runMainLoop(const std::function<bool()>* condition, std::optional<MonoTime> end) {
  bool held = runMainLoopSteps(condition, end);
  std::lock_guard lock(mutex_);
  restoreMainPriorityLocked();
  return held;
}

bool TimeKeeper::runMainLoopSteps(const std::function<bool()>* condition, std::optional<MonoTime> end) {
  std::unique_lock lock(mutex_);
  while (true) {
    if (stopRequested_) {
      stopRequested_ = false;
      return false;
    }
    if (fireDueStrictOnMainLocked(lock)) continue;
    changed_.wait(lock, [&] { return !strictHandingOver_ || !urgentMainQueue_.empty(); });
    bool urgent = !urgentMainQueue_.empty();
    if (auto next = popMainLocked()) {
      Block block = std::move(*next);
      next.reset();
      bool outerUrgent = runningUrgent_;  // a nested loop inside an urgent block
      runningUrgent_ = urgent && !isVirtual();
      lock.unlock();
      block();
      block = nullptr;  // captured state dies before the condition is checked
      lock.lock();
      runningUrgent_ = outerUrgent;
      if (urgent && urgentMainQueue_.empty()) releaseAfterStrictLocked();
      lock.unlock();
      if (condition && (*condition)()) return true;
      lock.lock();
      continue;
    }
    lock.unlock();
    if (condition && (*condition)()) return true;
    lock.lock();
    if (!mainQueueEmptyLocked() || stopRequested_) continue;

    if (isVirtual()) {
      auto mainHasWork = [&] { return !mainQueueEmptyLocked() || stopRequested_; };
      Step step = driveStep(lock, end, mainHasWork);
      if (step == Step::nothing) {
        // The last background work may have ended, meeting the condition, after it was read.
        lock.unlock();
        if (condition && (*condition)()) return true;
        lock.lock();
        if (mainHasWork() || inFlight_.load(std::memory_order_acquire) > 0) continue;
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
      restoreMainPriorityLocked();  // idle: the work that raised it is done
      lock.unlock();
      waiter->waitUntil(deadline);
      lock.lock();
    } else {
      waitIdleLocked(lock, deadline);
    }
  }
}

bool TimeKeeper::fireDueStrictOnMainLocked(std::unique_lock<std::mutex>& lock) {
  if (isVirtual() || strictEntries_.empty() || !urgentMainQueue_.empty()) return false;
  auto first = strictEntries_.begin();
  if (first->first.due > clock().now()) return false;
  // The main thread may have dropped to its own priority for an ordinary block just before the
  // moment; a CPU-bound thread would then hold the tick off for a whole time slice.
  raiseMainLocked();
  fireFirstStrictLocked(lock);
  return true;
}

void TimeKeeper::fireFirstStrictLocked(std::unique_lock<std::mutex>& lock) {
  auto first = strictEntries_.begin();
  std::function<void()> fire = std::move(first->second);
  strictEntries_.erase(first);
  lock.unlock();
  fire();
  fire = nullptr;  // what it captured dies without the lock held
  lock.lock();
}

void TimeKeeper::waitIdleLocked(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point deadline) {
  // With a tick armed the idle main thread waits at the strict thread's priority, so that it
  // wakes for the tick as promptly as that thread would; the work that raised it otherwise is done.
  bool raised = !strictEntries_.empty() && raiseMainLocked();
  if (!raised) restoreMainPriorityLocked();
  if (!strictEntries_.empty()) {
    auto tick = SystemClock::toSteady(strictEntries_.begin()->first.due);
    if (tick <= deadline) {
      deadline = tick;
      mainWaitsForStrict_ = true;
    }
  }
  changed_.wait_until(lock, deadline, [&] { return !mainQueueEmptyLocked() || stopRequested_; });
  mainWaitsForStrict_ = false;
  if (!raised || !urgentMainQueue_.empty()) return;
  bool tickDue = !strictEntries_.empty() && strictEntries_.begin()->first.due <= clock().now();
  if (!tickDue) restoreMainPriorityLocked();  // woken for ordinary work, which runs at its own priority
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

void TimeKeeper::startStrictTimerThreadLocked() {
  if (strictThreadStarted_) return;
  strictThreadStarted_ = true;
  std::thread([this] { strictTimerThreadLoop(); }).detach();
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

namespace platform::dispatch::detail {

void TimeKeeper::strictTimerThreadLoop() {
  // Raised once, for the thread's life; a process that may not gets one line saying so.
  ThreadPriority priority = ThreadPriority::raiseCurrentThread();
  if (priority.kind != ThreadPriority::Kind::realTime) {
    foundation::SystemLog::info("platform::dispatch: no real-time priority for the strict timer thread; it runs at " +
                                priority.describe());
  }
  std::unique_lock lock(mutex_);
  strictPriority_ = priority;
  while (true) {
    if (isVirtual() || strictEntries_.empty()) {
      strictChanged_.wait(lock);
      continue;
    }
    auto first = strictEntries_.begin();
    MonoTime due = first->first.due;
    MonoTime now = clock().now();
    // An absolute deadline: a late wake-up is not carried into the next sleep. While the idle
    // main thread sleeps to the same deadline it fires the entry itself; this thread steps in
    // only when it has not within the grace period.
    MonoTime fireAt = due > now || !mainWaitsForStrict_ ? due : due + kMainThreadGrace;
    if (fireAt > now) {
      strictSleepsUntil_ = fireAt;
      strictChanged_.wait_until(lock, SystemClock::toSteady(fireAt));
      strictSleepsUntil_ = MonoTime::max();
      continue;
    }
    strictHandingOver_ = true;
    fireFirstStrictLocked(lock);
    strictHandingOver_ = false;
    // A tick for the main queue woke the main thread as it landed; anything else wakes it here.
    if (urgentMainQueue_.empty()) changed_.notify_all();
  }
}

}  // namespace platform::dispatch::detail
