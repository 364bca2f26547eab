#pragma once

// Private to the logger (exported only for its tests): the process-wide state that the front (LogUtil), the store
// (LogStore) and the uploader (LogUploader) share, and the four queues they run on.

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "lumosdk/utils/LogPriority.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/TimerSource.h"
#include "platform/foundation/NotificationCenter.h"

namespace lumo::logging {

// A record kept in memory while no database is open; uploaded exactly as stored.
struct MemoryEntry {
  int priority = 0;
  std::string tag;
  std::string message;
  double timestamp = 0;  // milliseconds since 1970 at caching, fraction kept
  // Order of caching, never uploaded: an accepted upload removes exactly the entries it sent,
  // whatever overflow pushed out or appended meanwhile.
  std::uint64_t sequence = 0;
};

// A row of the log table as the batch read returns it.
struct LogRow {
  std::int64_t id = 0;
  LogPriority level = LogPriority::debug;
  std::string tag;
  std::string message;
  std::int64_t timestamp = 0;  // milliseconds since 1970
};

struct LoggerState {
  static LoggerState& shared();
  // Back to the state of a fresh process: database closed, flags cleared, buffers emptied.
  static void resetForTesting();

  // Flags read and written from every thread involved: single atomics, no lock.
  std::atomic<bool> isInitialized{false};
  std::atomic<bool> isShuttingDown{false};
  std::atomic<bool> isUploading{false};
  std::atomic<bool> dbOpenFailed{false};
  std::atomic<bool> isBackgroundObserverRegistered{false};

  // Replaced whole; readers take a copy.
  std::optional<std::string> serverUrl() const;
  void setServerUrl(std::string url);
  std::optional<nlohmann::json> userInfo() const;
  void setUserInfo(nlohmann::json info);

  // Log calls between their shutdown check and handing the record over; flushAndClose waits
  // for them so that no accepted record is left behind.
  std::atomic<int> callersInside{0};

  // Touched only on dbQueue.
  sqlite3* db = nullptr;
  // The insert, prepared once per connection.
  sqlite3_stmt* insertStatement = nullptr;
  // Touched only through memoryLogsQueue (barrier writes, synchronous reads).
  std::deque<MemoryEntry> memoryLogs;
  std::uint64_t nextMemorySequence = 1;
  // After a memory upload that failed: the last entry it sent. The next memory upload sends
  // those entries again and no more, so that it carries the same idempotency key; 0 when none.
  std::uint64_t memoryResendUpTo = 0;

  // Created by setupTimers, cancelled by flushAndClose (main thread and the caller of flushAndClose).
  std::mutex timersMutex;
  std::shared_ptr<platform::dispatch::TimerSource> uploadTimer;
  std::shared_ptr<platform::dispatch::TimerSource> cleanupTimer;

  std::mutex observersMutex;
  platform::foundation::NotificationCenter::Token backgroundObserver = 0;
  platform::foundation::NotificationCenter::Token terminateObserver = 0;

  // The logger's queues: created on first use, never destroyed.
  const std::shared_ptr<platform::dispatch::DispatchQueue> logQueue;
  const std::shared_ptr<platform::dispatch::DispatchQueue> dbQueue;
  const std::shared_ptr<platform::dispatch::DispatchQueue> memoryLogsQueue;
  const std::shared_ptr<platform::dispatch::DispatchQueue> uploadQueue;

 private:
  LoggerState();
  mutable std::mutex valuesMutex_;
  std::optional<std::string> serverUrl_;
  std::optional<nlohmann::json> userInfo_;
};

// The memory buffer, newest records winning once it holds 1000 entries.
constexpr std::size_t kMemoryLogLimit = 1000;
void cacheLogInMemory(LogPriority priority, std::string tag, std::string message);

}  // namespace lumo::logging
