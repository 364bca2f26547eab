#pragma once

// Private to platform/dispatch: the shared state behind Scheduler, MainLoop, the queues,
// timers and semaphores. One mutex (with priority inheritance) guards the timed entries, the
// main queue and every waiter; the count of background work in flight is atomic so that queue
// hops stay cheap.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/ThreadPriority.h"

namespace platform::dispatch::detail {

// Seconds (a double) to clock nanoseconds, rounded to nearest so that 0.15 s is exactly
// 150000000 ns and negative spans count as zero.
inline MonoTime toMono(Seconds span) {
  return span <= Seconds{0} ? MonoTime{0} : std::chrono::round<MonoTime>(span);
}

// Identifies a timed entry: due time first, then creation order, so ties fire first-in first-out.
struct LUMO_PLATFORM_EXPORT EntryKey {
  MonoTime due{0};
  std::uint64_t seq = 0;
  bool operator<(const EntryKey& other) const {
    return due != other.due ? due < other.due : seq < other.seq;
  }
};

class LUMO_PLATFORM_EXPORT TimeKeeper {
 public:
  static TimeKeeper& instance();

  const Clock& clock() const { return *clock_.load(std::memory_order_acquire); }
  bool isVirtual() const { return virtual_.load(std::memory_order_acquire); }
  VirtualClock& useVirtualClock(double startWallMillis);
  void setHangLimit(Seconds limit);

  // Timed entries. `fire` runs without the lock held, on whichever thread moves time. In real
  // time a strict entry is fired by a thread of its own at raised priority, sleeping to the
  // entry's absolute due time; in virtual time it is an entry like any other.
  EntryKey schedule(MonoTime due, std::function<void()> fire);
  EntryKey scheduleLocked(MonoTime due, std::function<void()> fire);
  EntryKey scheduleStrict(MonoTime due, std::function<void()> fire);
  void cancel(const EntryKey& key);
  // The due time of the earliest strict entry, or now while a block it posted waits on the
  // main queue; nothing when neither exists.
  std::optional<MonoTime> nextStrictDue();
  // What the strict timer thread got when it raised itself; nothing before it started.
  std::optional<ThreadPriority> strictTimerPriority();

  // Background work in flight (queued or running blocks, transfers).
  void beginWork() { inFlight_.fetch_add(1, std::memory_order_acq_rel); }
  void endWork();

  // The main queue.
  void postMain(Block block);
  // Runs ahead of every ordinary block already queued (a strict timer's handler). In real time
  // the main thread takes the strict timer thread's priority until it next falls idle, as a
  // queue's thread is overridden by the class of the work waiting for it.
  void postMainUrgent(Block block);
  // Queues `block` behind what the next strict timer's handler posts while it runs; at once
  // when no strict timer is armed or waiting.
  void postMainAfterStrict(Block block);
  std::optional<Block> takeMain();
  void setWaiter(std::shared_ptr<MainLoopWaiter> waiter);

  // Runs the main loop until `condition` holds, `end` (clock time) passes, or stop().
  bool runMainLoop(const std::function<bool()>* condition, std::optional<MonoTime> end);
  void stopMainLoop();

  // A thread blocked on the clock or a semaphore. Whoever wakes it does so under the lock
  // with wakeLocked(), which also counts it as in flight again if it was, so that time cannot
  // move between its wake-up and its next step.
  struct Waiter {
    bool woken = false;
    bool counted = false;
    bool timedOut = false;
  };
  // Blocks until the waiter is woken. On the main thread with the virtual clock it drives time.
  void block(std::unique_lock<std::mutex>& lock, Waiter& waiter);
  void wakeLocked(Waiter& waiter);
  std::mutex& mutex() { return mutex_; }

  // Whether the calling thread counts as in flight (it runs a queue's block).
  static bool& threadCounted();

 private:
  TimeKeeper();
  void startTimerThreadLocked();
  void startStrictTimerThreadLocked();
  EntryKey insertLocked(MonoTime due, std::function<void()> fire, bool strict);
  void timerThreadLoop();
  void strictTimerThreadLoop();
  bool runMainLoopSteps(const std::function<bool()>* condition, std::optional<MonoTime> end);
  // Real time: gives the main thread the strict thread's priority, once; whether it has it.
  bool raiseMainLocked();
  void restoreMainPriorityLocked();
  // Real time, main thread, lock held: fires the earliest strict entry when it is due and no
  // urgent block waits; returns whether it did (the lock was released meanwhile).
  bool fireDueStrictOnMainLocked(std::unique_lock<std::mutex>& lock);
  // Lock held, a strict entry armed: takes the earliest and fires it without the lock.
  void fireFirstStrictLocked(std::unique_lock<std::mutex>& lock);
  // Real time, main thread, lock held: the idle wait, to `deadline` or the next strict entry.
  void waitIdleLocked(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point deadline);
  // Lock held: moves the blocks waiting for a strict handler to the main queue.
  void releaseAfterStrictLocked();
  // Lock held: the next main-queue block: urgent ones first, then what they posted.
  std::optional<Block> popMainLocked();
  bool mainQueueEmptyLocked() const { return mainQueue_.empty() && urgentMainQueue_.empty() && followUps_.empty(); }
  // Virtual time, main thread, lock held. While background work is in flight, waits until it
  // drains or `interrupt()` holds and returns `waited`; otherwise fires the earliest entry due
  // no later than `limit` (`fired`) or finds none (`nothing`).
  enum class Step { waited, fired, nothing };
  Step driveStep(std::unique_lock<std::mutex>& lock, std::optional<MonoTime> limit,
                 const std::function<bool()>& interrupt);
  // Waits for `ready()` (checked under the lock); aborts the process after the hang limit.
  void waitOrAbort(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready,
                   const char* what);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::condition_variable timerChanged_;
  std::map<EntryKey, std::function<void()>> entries_;
  std::map<EntryKey, std::function<void()>> strictEntries_;
  std::condition_variable strictChanged_;
  std::uint64_t nextSeq_ = 1;
  std::atomic<long> inFlight_{0};
  std::deque<Block> mainQueue_;
  std::deque<Block> urgentMainQueue_;
  // Real time: what an urgent block posts to the main queue from the main thread while it runs
  // (the frame its write puts on the radio) runs next, not behind ordinary blocks waiting since.
  // Both are the main thread's alone.
  std::deque<Block> followUps_;
  bool runningUrgent_ = false;
  std::deque<Block> afterStrict_;
  std::shared_ptr<MainLoopWaiter> waiter_;
  bool stopRequested_ = false;
  bool timerThreadStarted_ = false;
  bool strictThreadStarted_ = false;
  std::optional<ThreadPriority> strictPriority_;
  std::optional<ThreadPriority> mainOwnPriority_;  // while the main thread is raised
  // Real time: the idle main thread is raised and sleeps to the earliest strict entry's due
  // time itself, so that a tick costs one wake-up; the strict thread then fires only as its
  // backup, a grace period later.
  bool mainWaitsForStrict_ = false;
  MonoTime strictSleepsUntil_ = MonoTime::max();
  // Real time: the strict thread took an entry and is handing it to its queue. The main loop
  // waits for that hand-over before it runs ordinary work, or the tick would queue behind it.
  bool strictHandingOver_ = false;

  std::unique_ptr<SystemClock> systemClock_;
  std::unique_ptr<VirtualClock> virtualClock_;
  std::atomic<const Clock*> clock_{nullptr};
  std::atomic<bool> virtual_{false};
  std::chrono::duration<double> hangLimit_{60.0};
};

}  // namespace platform::dispatch::detail
