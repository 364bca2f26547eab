#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <string>

#include "platform/PlatformExport.h"

namespace platform::dispatch {

// The scheduling a thread of the user-interactive class got: real-time where the process may
// ask for it, else a raised nice value, else none. A reference loop can take the same.
struct LUMO_PLATFORM_EXPORT ThreadPriority {
  enum class Kind { realTime, raisedNice, normal };
  Kind kind = Kind::normal;
  int policy = 0;  // SCHED_FIFO or SCHED_RR for realTime, SCHED_OTHER otherwise
  int value = 0;   // the real-time priority, or the nice value (also for normal)

  std::string describe() const;

  // Tries SCHED_FIFO, then SCHED_RR, then a raised nice value, for the calling thread only;
  // returns what it got (normal when nothing was allowed).
  static ThreadPriority raiseCurrentThread();
  // Gives the calling thread `priority`; false when the process may not.
  static bool applyToCurrentThread(const ThreadPriority& priority);

  // Another thread, as one thread raises a second for a while and restores it after (the main
  // thread while a strict timer's handler waits for it, as a queue's override would).
  struct Thread {
    pthread_t handle{};
    pid_t id = 0;
    static Thread current();
  };
  static ThreadPriority of(const Thread& thread);
  static bool applyTo(const Thread& thread, const ThreadPriority& priority);
};

}  // namespace platform::dispatch
