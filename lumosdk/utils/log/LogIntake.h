#pragma once

// Private to the logger: where a log call leaves its record. Waking a sleeping worker for
// every record cost the caller most of a log call, so records gather in a lock-free list and
// one flusher thread hands them on as a batch, at most once per short interval or as soon as
// a batch fills. The batch then takes the logger's usual hops (logQueue, then dbQueue) in
// the order the records were taken in. The records' console lines are written there too, as
// the console's backlog: a direct console line or a flush writes the waiting ones first.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "lumosdk/utils/LogPriority.h"

namespace lumo::logging {

struct PendingRecord {
  LogPriority priority = LogPriority::debug;
  std::string tag;
  std::string message;
};

class LogIntake {
 public:
  // A batch waits this long at most for more records.
  static constexpr std::chrono::milliseconds kInterval{5};
  // ... or is handed on as soon as it holds this many.
  static constexpr std::size_t kBatchLimit = 256;

  // Any thread; never blocks. Wakes the flusher only when a batch fills, or for the first
  // record after a second without any (the flusher then sleeps instead of ticking).
  static void add(LogPriority priority, std::string tag, std::string message);
  // Takes every waiting record now and queues it on logQueue; returns at once.
  static void drainNow();
  // Takes every waiting record now (oldest first, console lines written) without queueing
  // it: for shutdown.
  static std::vector<PendingRecord> takeAll();
};

}  // namespace lumo::logging
