#pragma once

// Private to the logger: where a log call leaves its record. Waking a sleeping worker for
// every record cost the caller most of a log call, so records gather in a lock-free list and
// one flusher thread hands them on as a batch, at most once per short interval or as soon as
// a batch fills. The batch then takes the logger's usual hops (logQueue, then dbQueue) in
// the order the records were taken in. The records' console lines are written there too, as
// the console's backlog: a direct console line or a flush writes the waiting ones first.
//
// Bounded, and never making a caller wait: a record counts against the bound from its log
// call until the store took it (or the shutdown did). Each level may fill the bound to its
// own share (verbose 1/2, debug 5/8, info 3/4, warn 7/8, error all of it), so as room runs
// out verbose and debug records are dropped first, then info, warn and error last. Every
// drop is counted, and the counts travel in the next batch as one record of their own.

#include <chrono>
#include <cstddef>
#include <cstdint>
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
  // At most this many records and bytes (text plus bookkeeping) wait between log calls and
  // the store: some 8 MiB of memory whatever the callers do.
  static constexpr std::size_t kMaxRecords = 16384;
  static constexpr std::size_t kMaxBytes = 8u << 20;

  struct Figures {
    std::size_t records = 0;  // waiting now
    std::size_t bytes = 0;
    std::size_t peakRecords = 0;  // most ever waiting at once
    std::size_t peakBytes = 0;
  };
  static Figures figures();
  // Records the memory buffer or the full store had to let go: counted like intake drops.
  static void countDropped(LogPriority priority, std::uint64_t count = 1);

  // Any thread; never blocks; past the bound the record is dropped and counted. Wakes the flusher only when a batch fills, or for the first
  // record after a second without any (the flusher then sleeps instead of ticking).
  static void add(LogPriority priority, std::string tag, std::string message);
  // Takes every waiting record now and queues it on logQueue; returns at once.
  static void drainNow();
  // Takes every waiting record now and queues it on dbQueue behind the batches already on
  // their way; returns once it is queued.
  static void handOnNow();
  // Takes every waiting record now (oldest first, console lines written) without queueing
  // it: for shutdown.
  static std::vector<PendingRecord> takeAll();
};

}  // namespace lumo::logging
