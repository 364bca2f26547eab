#pragma once

// Private to the logger: the SQLite store of records awaiting upload. Everything runs on the
// serial dbQueue; the functions marked "on dbQueue" must be called from blocks already there.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lumosdk/utils/log/LogIntake.h"
#include "lumosdk/utils/log/LoggerState.h"

namespace lumo::logging {

class LogStore {
 public:
  static constexpr int kBusyTimeoutMs = 5000;
  static constexpr std::size_t kMaxMessageCharacters = 10000;
  static constexpr int kRetryLimit = 5;
  static constexpr int kBatchSize = 10000;
  static constexpr std::int64_t kMaxAgeSeconds = 604800;
  // At most this many rows on disk (some 30 MB of typical records); past it the oldest rows
  // not out for upload go, counted like intake drops.
  static constexpr std::int64_t kMaxStoredRows = 100000;
  // An upload carries at most this much tag and message text (and kBatchSize rows).
  static constexpr std::size_t kMaxBatchBytes = 4u << 20;

  // Queues the open sequence unless shutting down.
  static void initDatabase();
  // Queues `block` on dbQueue unless shutting down; returns whether it was queued.
  static bool performDB(std::function<void()> block);
  // Whether a connection is open right now (asks dbQueue).
  static bool isOpen();
  // On dbQueue: stores one record, or keeps it in memory when the store cannot take it.
  static void saveLogToDb(LogPriority priority, const std::string& tag, std::string message);
  // On dbQueue: stores the records in one transaction, all or none; the records of a batch
  // that cannot be stored wait in memory. Records count as stored once the commit returned.
  static void saveLogsToDb(std::vector<PendingRecord>& records);

  struct Batch {
    std::vector<LogRow> rows;
    // Set when the read failed: SQLite's message, or nothing when no connection was open.
    std::optional<std::string> error;
    bool failed = false;
  };
  // On dbQueue: up to 10000 uploadable rows, oldest first.
  static Batch readBatch();

  static void deleteLogsFromDb(std::vector<std::int64_t> ids);
  static void incrementRetryCount(std::vector<std::int64_t> ids);
  // On dbQueue: drops rows older than seven days and rows whose uploads failed five times.
  static void cleanupTask();
  // On dbQueue.
  static void close();

  static std::optional<std::string> getDatabasePath();
  // Prepares Documents as a private folder; false when it cannot be or must not be used.
  static bool ensureDatabaseDirectoryExists();

 private:
  static void openSequence();
  static bool insertAll(std::vector<PendingRecord>& records);
  static void keepWithinCap();
  static void executeIdList(const char* prefix, const std::vector<std::int64_t>& ids);
};

}  // namespace lumo::logging
