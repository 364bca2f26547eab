#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Clock.h"

namespace platform::dispatch {

using Block = std::function<void()>;

// How the main loop waits when it has nothing to do: for a posted block or a deadline.
// The SDL2 host replaces it to wait on window events at the same time.
class LUMO_PLATFORM_EXPORT MainLoopWaiter {
 public:
  virtual ~MainLoopWaiter() = default;
  // Returns when wake() was called or the real time `deadline` passed (time_point::max() = no limit).
  virtual void waitUntil(std::chrono::steady_clock::time_point deadline) = 0;
  // Thread-safe; may be called from any thread.
  virtual void wake() = 0;
};

// The main loop of the process's initial thread (the main thread): it runs the main queue's
// blocks and, with the virtual clock, moves time. All functions except post() and
// isMainThread() must be called on the main thread.
class LUMO_PLATFORM_EXPORT MainLoop {
 public:
  // Queues a block to run on the main thread (DispatchQueue::main()->async does the same).
  static void post(Block block);

  // Runs until stop() is called.
  static void run();
  // Runs for `duration` of clock time; with the virtual clock, reads exactly start + duration after.
  static void runFor(Seconds duration);
  // Runs until `condition` holds (checked after every block and every step of time) or until
  // `timeLimit` of clock time has passed. Returns whether the condition held.
  static bool runUntil(const std::function<bool()>& condition, Seconds timeLimit);
  // Runs the blocks already queued (and those they queue) without moving time.
  static void drain();
  static void stop();

  // When the next strict timer (the command loop) falls due, or now while its handler waits
  // on the main queue; nothing when there is none. Work that would overlap it can wait.
  static std::optional<MonoTime> nextStrictTimerDue();
  // Queues a block behind the next strict timer's handler and whatever that handler posts
  // (at once when no strict timer is armed): for work that gave way to it.
  static void postAfterStrictTimer(Block block);

  static bool isMainThread();
  static void setWaiter(std::shared_ptr<MainLoopWaiter> waiter);
};

}  // namespace platform::dispatch
