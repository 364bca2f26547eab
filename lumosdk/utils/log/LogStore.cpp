#include "lumosdk/utils/log/LogStore.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "lumosdk/utils/log/Utf8.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/AppSandbox.h"
#include "platform/foundation/SystemLog.h"

namespace lumo::logging {
namespace {

using platform::foundation::SystemLog;

constexpr const char* kDatabaseName = "lumo_logs.db";

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS logs ("
    "id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "priority INTEGER, "
    "tag TEXT, "
    "message TEXT, "
    "timestamp INTEGER, "
    "retry_count INTEGER DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS idx_timestamp ON logs (timestamp);"
    "CREATE INDEX IF NOT EXISTS idx_retry_count ON logs (retry_count);"
    // The rows of the batch last sent and not yet accepted: resent as they are, so that the
    // backend can tell the resend by its idempotency key, also after a restart.
    "CREATE TABLE IF NOT EXISTS upload_batch (log_id INTEGER PRIMARY KEY);";

std::int64_t nowMillis() {
  return static_cast<std::int64_t>(platform::dispatch::Scheduler::clock().wallMillis());
}

// Read with its length: stored text may hold NUL bytes, and it was stored whole.
std::string columnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

// The first column of the first row, or -1.
std::int64_t queryInteger(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  std::int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
    value = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  return value;
}

}  // namespace

std::optional<std::string> LogStore::getDatabasePath() {
  auto documents = platform::foundation::AppSandbox::documentsDirectory();
  if (!documents) return std::nullopt;
  return (*documents / kDatabaseName).string();
}

bool LogStore::ensureDatabaseDirectoryExists() {
  auto documents = platform::foundation::AppSandbox::documentsDirectory();
  return documents && platform::foundation::AppSandbox::preparePrivateFolder(*documents);
}

namespace {

// The database is created 0600 before SQLite opens it, so its journal files get that mode
// too; side files left by an earlier run are checked like it.
bool prepareDatabaseFiles(const std::string& path) {
  using platform::foundation::AppSandbox;
  if (!AppSandbox::preparePrivateFile(path)) return false;
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    std::filesystem::path side = path + suffix;
    std::error_code ec;
    if (std::filesystem::symlink_status(side, ec).type() == std::filesystem::file_type::not_found) continue;
    if (!AppSandbox::preparePrivateFile(side)) return false;
  }
  return true;
}

}  // namespace

void LogStore::initDatabase() {
  auto& state = LoggerState::shared();
  if (state.isShuttingDown) return;
  state.dbQueue->async([] { openSequence(); });
}

bool LogStore::performDB(std::function<void()> block) {
  auto& state = LoggerState::shared();
  if (state.isShuttingDown) return false;
  state.dbQueue->async(std::move(block));
  return true;
}

bool LogStore::isOpen() {
  bool open = false;
  LoggerState::shared().dbQueue->sync([&open] { open = LoggerState::shared().db != nullptr; });
  return open;
}

void LogStore::openSequence() {
  auto& state = LoggerState::shared();
  close();
  state.dbOpenFailed = false;
  auto path = getDatabasePath();
  if (!path) {  // no Documents folder at all: treated as a failed open
    state.dbOpenFailed = true;
    return;
  }
  // A folder or file someone else could change, or a link: records stay in memory instead.
  if (!ensureDatabaseDirectoryExists() || !prepareDatabaseFiles(*path)) {
    state.dbOpenFailed = true;
    return;
  }
  sqlite3* db = nullptr;
  int opened = sqlite3_open_v2(path->c_str(), &db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW,
                               nullptr);
  if (opened != SQLITE_OK) {
    if (db) sqlite3_close(db);
    state.dbOpenFailed = true;
    return;
  }
  // Set before the first table exists; an older file without it is converted below.
  sqlite3_exec(db, "PRAGMA auto_vacuum=INCREMENTAL;", nullptr, nullptr, nullptr);
  // WAL with synchronous=NORMAL: a commit is one append to the WAL and no fsync, so a log
  // batch costs little; a killed app loses no committed batch (the WAL is in the kernel's
  // cache), and a power loss may undo the last commits but never damages the file.
  sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  char* error = nullptr;
  if (sqlite3_exec(db, kSchema, nullptr, nullptr, &error) != SQLITE_OK) {
    SystemLog::error(std::string("Log database unusable, keeping records in memory: ") +
                     (error ? error : "unknown error"));
    sqlite3_free(error);
    sqlite3_close(db);
    state.dbOpenFailed = true;
    return;
  }
  // Deleted rows give their pages back at the clean-up instead of growing the file for good.
  if (queryInteger(db, "PRAGMA auto_vacuum;") == 0) sqlite3_exec(db, "VACUUM;", nullptr, nullptr, nullptr);
  state.db = db;
}

void LogStore::saveLogToDb(LogPriority priority, const std::string& tag, std::string message) {
  auto& state = LoggerState::shared();
  if (state.isShuttingDown) return;
  if (!state.db && !state.dbOpenFailed) state.dbQueue->async([] { openSequence(); });
  std::vector<PendingRecord> records;
  records.push_back(PendingRecord{priority, tag, std::move(message)});
  saveLogsToDb(records);
}

void LogStore::saveLogsToDb(std::vector<PendingRecord>& records) {
  auto& state = LoggerState::shared();
  bool open = state.db && !state.dbOpenFailed;
  for (auto& record : records) {
    // Stored text must be UTF-8 to travel as JSON later; the console line stayed verbatim.
    record.tag = sanitizeUtf8(std::move(record.tag));
    record.message = sanitizeUtf8(std::move(record.message));
    if (open) record.message = truncateCharacters(std::move(record.message), kMaxMessageCharacters);
  }
  // Records accepted before a shutdown began are still stored while the connection is open;
  // closing it is what ends database work.
  if (open && insertAll(records)) return;
  // Not stored (no connection, a full disk, an I/O error, a lock held too long): the records
  // wait in memory rather than being lost.
  for (auto& record : records) cacheLogInMemory(record.priority, std::move(record.tag), std::move(record.message));
}

bool LogStore::insertAll(std::vector<PendingRecord>& records) {
  auto& state = LoggerState::shared();
  if (!state.insertStatement &&
      sqlite3_prepare_v2(state.db, "INSERT INTO logs (priority, tag, message, timestamp) VALUES (?, ?, ?, ?);", -1,
                         &state.insertStatement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(state.insertStatement);
    state.insertStatement = nullptr;
    return false;
  }
  // One transaction per batch: one journal write instead of one per record.
  if (sqlite3_exec(state.db, "BEGIN;", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
  sqlite3_stmt* insert = state.insertStatement;
  int result = SQLITE_DONE;
  for (const auto& record : records) {
    sqlite3_reset(insert);
    sqlite3_bind_int(insert, 1, rawValue(record.priority));
    sqlite3_bind_text(insert, 2, record.tag.data(), static_cast<int>(record.tag.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert, 3, record.message.data(), static_cast<int>(record.message.size()), SQLITE_STATIC);
    sqlite3_bind_int64(insert, 4, nowMillis());
    result = sqlite3_step(insert);
    if (result != SQLITE_DONE) break;
  }
  sqlite3_reset(insert);
  sqlite3_clear_bindings(insert);
  if (result == SQLITE_DONE && sqlite3_exec(state.db, "COMMIT;", nullptr, nullptr, nullptr) == SQLITE_OK) {
    keepWithinCap();
    return true;
  }
  // All or none: whatever the batch inserted is undone and the whole batch goes to memory.
  if (!sqlite3_get_autocommit(state.db)) sqlite3_exec(state.db, "ROLLBACK;", nullptr, nullptr, nullptr);
  if (result == SQLITE_MISUSE) {
    close();
    state.dbQueue->asyncAfter(std::chrono::seconds(1), [] {
      if (!LoggerState::shared().isShuttingDown) LoggerState::shared().dbQueue->async([] { openSequence(); });
    });
  }
  return false;
}

namespace {

constexpr const char* kBatchColumns = "SELECT id, priority, tag, message, timestamp FROM logs ";

// Runs a prepared batch query; false (with SQLite's message) when it cannot be prepared.
bool readRows(sqlite3* db, const std::string& sql, int limit, LogStore::Batch& batch) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    batch.failed = true;
    batch.error = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    return false;
  }
  sqlite3_bind_int(statement, 1, LogStore::kRetryLimit);
  if (limit > 0) sqlite3_bind_int(statement, 2, limit);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    LogRow row;
    row.id = sqlite3_column_int64(statement, 0);
    row.level = logPriorityFromRaw(sqlite3_column_int64(statement, 1)).value_or(LogPriority::debug);
    row.tag = columnText(statement, 2);
    row.message = columnText(statement, 3);
    row.timestamp = sqlite3_column_int64(statement, 4);
    batch.rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  return true;
}

}  // namespace

void LogStore::keepWithinCap() {
  sqlite3* db = LoggerState::shared().db;
  // The id span bounds the count from above for two index lookups; only past the cap is
  // the table counted.
  if (queryInteger(db, "SELECT COALESCE(MAX(id) - MIN(id) + 1, 0) FROM logs;") <= kMaxStoredRows) return;
  std::int64_t excess = queryInteger(db, "SELECT COUNT(*) FROM logs;") - kMaxStoredRows;
  if (excess <= 0) return;
  // The oldest rows, except those out for upload: the backend may already hold them.
  const std::string victims =
      "SELECT id FROM logs WHERE id NOT IN (SELECT log_id FROM upload_batch) ORDER BY timestamp, id LIMIT " +
      std::to_string(excess);
  std::vector<std::pair<LogPriority, std::int64_t>> counts;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, ("SELECT priority, COUNT(*) FROM logs WHERE id IN (" + victims + ") GROUP BY priority;").c_str(),
                         -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      counts.emplace_back(logPriorityFromRaw(sqlite3_column_int64(statement, 0)).value_or(LogPriority::debug),
                          sqlite3_column_int64(statement, 1));
    }
  }
  sqlite3_finalize(statement);
  if (sqlite3_exec(db, ("DELETE FROM logs WHERE id IN (" + victims + ");").c_str(), nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    return;
  }
  for (const auto& [priority, count] : counts) LogIntake::countDropped(priority, static_cast<std::uint64_t>(count));
}

LogStore::Batch LogStore::readBatch() {
  auto& state = LoggerState::shared();
  Batch batch;
  if (!state.db) {
    batch.failed = true;
    return batch;
  }
  // A batch sent before and not accepted goes again, exactly as it was.
  if (!readRows(state.db,
                std::string(kBatchColumns) +
                    "WHERE id IN (SELECT log_id FROM upload_batch) AND retry_count < ? ORDER BY timestamp, id;",
                0, batch)) {
    return batch;
  }
  if (!batch.rows.empty()) return batch;
  if (!readRows(state.db, std::string(kBatchColumns) + "WHERE retry_count < ? ORDER BY timestamp, id LIMIT ?;",
                kBatchSize, batch)) {
    return batch;
  }
  // Bounded in bytes too, so one request stays a size a slow uplink can finish; a single
  // larger row still goes alone.
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < batch.rows.size(); ++i) {
    bytes += batch.rows[i].tag.size() + batch.rows[i].message.size();
    if (bytes > kMaxBatchBytes && i > 0) {
      batch.rows.resize(i);
      break;
    }
  }
  // Remembered before it is sent; if that fails the batch is sent without the memory of it.
  std::string sql = "BEGIN; DELETE FROM upload_batch;";
  for (std::size_t i = 0; i < batch.rows.size(); ++i) {
    sql += i == 0 ? " INSERT INTO upload_batch (log_id) VALUES (" : "),(";
    sql += std::to_string(batch.rows[i].id);
  }
  sql += batch.rows.empty() ? " COMMIT;" : "); COMMIT;";
  if (sqlite3_exec(state.db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK &&
      !sqlite3_get_autocommit(state.db)) {
    sqlite3_exec(state.db, "ROLLBACK;", nullptr, nullptr, nullptr);
  }
  return batch;
}

void LogStore::executeIdList(const char* prefix, const std::vector<std::int64_t>& ids) {
  auto& state = LoggerState::shared();
  if (!state.db || ids.empty()) return;
  std::string sql = prefix;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) sql += ',';
    sql += std::to_string(ids[i]);
  }
  sql += ')';
  // A failure leaves the rows for a later round.
  sqlite3_exec(state.db, sql.c_str(), nullptr, nullptr, nullptr);
}

// Unlike other database work these also run once shutdown has begun, as long as the
// connection is open (flushAndClose waits for the running upload before closing it): rows the
// backend accepted but that stayed would be sent a second time after the next start.
void LogStore::deleteLogsFromDb(std::vector<std::int64_t> ids) {
  LoggerState::shared().dbQueue->async([ids = std::move(ids)] {
    // Both or neither: an accepted batch must not be remembered for a resend.
    auto* db = LoggerState::shared().db;
    if (!db || ids.empty()) return;
    sqlite3_exec(db, "BEGIN;", nullptr, nullptr, nullptr);
    executeIdList("DELETE FROM logs WHERE id IN (", ids);
    executeIdList("DELETE FROM upload_batch WHERE log_id IN (", ids);
    if (sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr) != SQLITE_OK && !sqlite3_get_autocommit(db)) {
      sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
    }
  });
}

void LogStore::incrementRetryCount(std::vector<std::int64_t> ids) {
  LoggerState::shared().dbQueue->async([ids = std::move(ids)] {
    executeIdList("UPDATE logs SET retry_count = retry_count + 1 WHERE id IN (", ids);
  });
}

void LogStore::cleanupTask() {
  auto& state = LoggerState::shared();
  if (!state.db) return;
  double nowSeconds = platform::dispatch::Scheduler::clock().wallSeconds();
  auto cutoff = static_cast<std::int64_t>((nowSeconds - static_cast<double>(kMaxAgeSeconds)) * 1000.0);
  std::string byAge = "DELETE FROM logs WHERE timestamp < " + std::to_string(cutoff);
  std::string byRetries = "DELETE FROM logs WHERE retry_count >= " + std::to_string(kRetryLimit);
  sqlite3_exec(state.db, byAge.c_str(), nullptr, nullptr, nullptr);
  sqlite3_exec(state.db, byRetries.c_str(), nullptr, nullptr, nullptr);
  sqlite3_exec(state.db, "DELETE FROM upload_batch WHERE log_id NOT IN (SELECT id FROM logs);", nullptr, nullptr,
               nullptr);
  sqlite3_exec(state.db, "PRAGMA incremental_vacuum;", nullptr, nullptr, nullptr);
}

void LogStore::close() {
  auto& state = LoggerState::shared();
  sqlite3_finalize(state.insertStatement);  // a connection with a live statement does not close
  state.insertStatement = nullptr;
  if (state.db) sqlite3_close(state.db);
  state.db = nullptr;
}

}  // namespace lumo::logging
