#pragma once

#include "platform/PlatformExport.h"
#include <optional>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ThreadPriority.h"

namespace platform::dispatch {

// The process-wide time keeper: one ordered list of timed entries (timers, delayed blocks,
// timer sources, timed waits) and the count of work in flight.
//
// With the system clock a timer thread fires entries when they fall due. With the virtual
// clock, time moves only while the main thread drives it (a run of the main loop, or a wait
// on the main thread) and nothing is in flight: it then jumps to the earliest entry and
// fires it. Entries with the same due time fire in creation order.
//
// In flight: a block queued or running on a background queue, a block posted to the main
// queue and not yet run, an open WorkToken (a network transfer). A thread waiting on the
// clock or a semaphore stops counting while it waits.
class LUMO_PLATFORM_EXPORT Scheduler {
 public:
  // Switches the process to a fresh virtual clock and returns it. Call before any timer
  // exists (a test's SetUp, the start of a headless tour).
  static VirtualClock& useVirtualClock(double startWallMillis = VirtualClock::kDefaultStartWallMillis);
  static const Clock& clock();
  static bool isVirtual();

  // Real seconds a virtual-time driver waits for in-flight work before it aborts the process
  // with a message: a hang in a test is a bug, not a slow machine. Default 60 s.
  static void setHangLimit(Seconds realSeconds);

  // The priority the real-time thread of strict timer sources got; nothing until one ran.
  static std::optional<ThreadPriority> strictTimerPriority();

  // Counts one unit of outside work (a transfer) as in flight for the token's lifetime.
  class WorkToken {
   public:
    WorkToken();
    ~WorkToken();
    WorkToken(const WorkToken&) = delete;
    WorkToken& operator=(const WorkToken&) = delete;
  };
};

// Blocks the calling thread for `duration` of clock time (Thread.sleep). On the main thread
// with the virtual clock this drives time itself.
LUMO_PLATFORM_EXPORT void sleepFor(Seconds duration);

}  // namespace platform::dispatch
