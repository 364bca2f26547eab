// The log store: its schema, the cut of long texts, batches for upload and their bounds, the
// rows a full store lets go, clean-up and shutdown.
#include <atomic>
#include <map>
#include <set>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/log/LogStore.h"
#include "tests/log/LogTestSupport.h"

namespace lumo::test {
namespace {

using logging::LoggerState;
using logging::LogStore;

class LogStoreTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    LogUtil::initialize("https://127.0.0.1:1/app_log/save");
    settle();
    ASSERT_NE(LoggerState::shared().db, nullptr);
  }

  // Runs `block` on dbQueue and waits for it, as the uploader's blocks do.
  template <typename Block>
  void onDbQueue(Block block) {
    LoggerState::shared().dbQueue->sync(block);
  }

  LogStore::Batch readBatch() {
    LogStore::Batch batch;
    onDbQueue([&] { batch = LogStore::readBatch(); });
    return batch;
  }

  void fill(std::int64_t rows, const std::string& text) {
    execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) +
            ") INSERT INTO logs (priority, tag, message, timestamp) SELECT 3, 'old', " + text +
            ", 1767225600000 - 1000000 + i FROM n");
  }

  std::int64_t pragma(const std::string& name) {
    std::int64_t value = -1;
    onDbQueue([&] {
      sqlite3_stmt* statement = nullptr;
      sqlite3_prepare_v2(LoggerState::shared().db, ("PRAGMA " + name).c_str(), -1, &statement, nullptr);
      if (statement && sqlite3_step(statement) == SQLITE_ROW) value = sqlite3_column_int64(statement, 0);
      sqlite3_finalize(statement);
    });
    return value;
  }
};

TEST_F(LogStoreTest, SchemaIsTheLogTableWithItsTwoIndexes) {
  std::map<std::string, std::string> columns;  // name -> declared type
  std::map<std::string, std::string> defaults;
  std::set<std::string> indexes;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(databasePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA table_info(logs)", -1, &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string name = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
    columns[name] = reinterpret_cast<const char*>(sqlite3_column_text(statement, 2));
    if (auto* value = sqlite3_column_text(statement, 4)) defaults[name] = reinterpret_cast<const char*>(value);
  }
  sqlite3_finalize(statement);
  sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'logs'", -1,
                     &statement, nullptr);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    if (sqlite3_column_text(statement, 1)) indexes.insert(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
  }
  sqlite3_finalize(statement);
  sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE name = 'logs'", -1, &statement, nullptr);
  ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
  std::string tableSql = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &statement, nullptr);
  ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
  std::string journal = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_close(db);

  EXPECT_EQ(columns, (std::map<std::string, std::string>{{"id", "INTEGER"}, {"priority", "INTEGER"}, {"tag", "TEXT"},
                                                          {"message", "TEXT"}, {"timestamp", "INTEGER"},
                                                          {"retry_count", "INTEGER"}}));
  EXPECT_EQ(defaults["retry_count"], "0");
  EXPECT_NE(tableSql.find("id INTEGER PRIMARY KEY AUTOINCREMENT"), std::string::npos);
  EXPECT_EQ(indexes, (std::set<std::string>{"CREATE INDEX idx_timestamp ON logs (timestamp)",
                                            "CREATE INDEX idx_retry_count ON logs (retry_count)"}));
  EXPECT_EQ(journal, "wal");
}

TEST_F(LogStoreTest, LongMessagesAreCutAfter10000Characters) {
  std::string exact;
  for (int i = 0; i < 10000; ++i) exact += "车";
  std::string longer = exact + "车";
  // Base letters with combining accents: 10001 characters in 20002 code points.
  std::string accented;
  for (int i = 0; i < 10001; ++i) accented += "e\xCC\x81";
  onDbQueue([&] {
    LogStore::saveLogToDb(LogPriority::info, "cut", exact);
    LogStore::saveLogToDb(LogPriority::info, "cut", longer);
    LogStore::saveLogToDb(LogPriority::info, "cut", accented);
  });
  auto rows = storedRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].message, exact);
  EXPECT_EQ(rows[1].message, exact + "...");
  EXPECT_EQ(rows[2].message, accented.substr(0, 10000 * 3) + "...");

  // A memory entry is cut like a stored message.
  logging::cacheLogInMemory(LogPriority::info, "mem", std::string(LogStore::kMaxMessageCharacters + 500, 'y'));
  settle();
  auto entries = memoryEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].message, std::string(LogStore::kMaxMessageCharacters, 'y') + "...");
}

TEST_F(LogStoreTest, BatchesTakeTheOldestUploadableRowsAndRetriesExhaustRows) {
  // 12000 rows, inserted one virtual millisecond apart in reverse order of their ids' age.
  execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 12000) "
          "INSERT INTO logs (priority, tag, message, timestamp) "
          "SELECT 4, 'bulk', 'm' || i, 1767225600000 - i FROM n");
  auto batch = readBatch();
  ASSERT_FALSE(batch.failed);
  ASSERT_EQ(batch.rows.size(), 10000u);
  EXPECT_EQ(batch.rows.front().message, "m12000");
  EXPECT_EQ(batch.rows.back().message, "m2001");
  for (size_t i = 1; i < batch.rows.size(); ++i) ASSERT_LT(batch.rows[i - 1].timestamp, batch.rows[i].timestamp);

  // A row whose upload failed five times is never read again and goes at the next clean-up.
  std::int64_t oldest = batch.rows.front().id;
  for (int attempt = 0; attempt < 5; ++attempt) LogStore::incrementRetryCount({oldest});
  LogStore::incrementRetryCount({});  // nothing to do, nothing done
  settle();
  // The batch not accepted is read again as it was, less the exhausted row.
  batch = readBatch();
  EXPECT_EQ(batch.rows.size(), 9999u);
  EXPECT_EQ(batch.rows.front().message, "m11999");
  onDbQueue([] { LogStore::cleanupTask(); });
  auto rows = storedRows();
  EXPECT_EQ(rows.size(), 11999u);

  // Accepted rows are deleted by id.
  std::vector<std::int64_t> ids;
  for (const auto& row : batch.rows) ids.push_back(row.id);
  LogStore::deleteLogsFromDb(ids);
  settle();
  EXPECT_EQ(storedRows().size(), 2000u);
  EXPECT_EQ(readBatch().rows.size(), 2000u) << "then a fresh batch of what is left";
}

TEST_F(LogStoreTest, AFullStoreLetsItsOldestRowsGoAndCountsThem) {
  fill(LogStore::kMaxStoredRows, "'m' || i");
  // The oldest rows are out for upload: they stay, the next oldest go instead.
  LogStore::Batch pending = readBatch();
  ASSERT_FALSE(pending.rows.empty());
  for (int i = 0; i < 10; ++i) LogUtil::i("new " + std::to_string(i), std::string("t"));
  settle();
  auto rows = storedRows();
  EXPECT_EQ(static_cast<std::int64_t>(rows.size()), LogStore::kMaxStoredRows);
  EXPECT_EQ(rows.front().message, "m1") << "rows out for upload are kept";
  EXPECT_EQ(rows.back().message, "new 9");
  std::set<std::string> messages;
  for (const auto& row : rows) messages.insert(row.message);
  const std::int64_t firstKept = static_cast<std::int64_t>(pending.rows.size()) + 1;
  EXPECT_EQ(messages.count("m" + std::to_string(firstKept)), 0u);
  EXPECT_EQ(messages.count("m" + std::to_string(firstKept + 9)), 0u);
  EXPECT_EQ(messages.count("m" + std::to_string(firstKept + 10)), 1u);

  // The next batch says how many went.
  LogUtil::i("later", std::string("t"));
  settle();
  bool counted = false;
  for (const auto& row : storedRows()) {
    counted |= row.tag == "LogUtil" && row.message.find("Dropped 10 records") == 0 &&
               row.message.find("debug 10") != std::string::npos;
  }
  EXPECT_TRUE(counted);
}

TEST_F(LogStoreTest, BatchesAreBoundedInBytesAndSpaceGoesBack) {
  EXPECT_EQ(pragma("auto_vacuum"), 2) << "incremental";
  // 60 rows of 100 kB: more than one upload may carry.
  fill(60, "hex(zeroblob(50000))");
  LogStore::Batch batch = readBatch();
  std::size_t bytes = 0;
  for (const auto& row : batch.rows) bytes += row.message.size() + row.tag.size();
  EXPECT_LE(bytes, LogStore::kMaxBatchBytes);
  EXPECT_GT(batch.rows.size(), 1u);
  EXPECT_LT(batch.rows.size(), 60u);

  // Deleted rows give their pages back at the clean-up.
  execute("DELETE FROM logs");
  EXPECT_GT(pragma("freelist_count"), 0);
  onDbQueue([] { LogStore::cleanupTask(); });
  EXPECT_EQ(pragma("freelist_count"), 0);
}

TEST_F(LogStoreTest, CleanupDropsRowsOlderThanSevenDaysAndOddPrioritiesReadAsDebug) {
  std::int64_t now = 1767225600000;
  std::int64_t day = 86400000;
  execute("INSERT INTO logs (priority, tag, message, timestamp) VALUES (4, 't', 'eight days', " +
          std::to_string(now - 8 * day) + ")");
  execute("INSERT INTO logs (priority, tag, message, timestamp) VALUES (9, 't', 'six days', " +
          std::to_string(now - 6 * day) + ")");
  auto batch = readBatch();
  ASSERT_EQ(batch.rows.size(), 2u);
  EXPECT_EQ(batch.rows[1].level, LogPriority::debug);

  // The clean-up timer first fires two minutes after start, then hourly.
  runFor(std::chrono::seconds(119));
  EXPECT_EQ(storedRows().size(), 2u);
  runFor(std::chrono::seconds(2));
  auto rows = storedRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].message, "six days");
  // A day and a bit later, hourly clean-ups have removed it as well.
  runFor(std::chrono::hours(25));
  EXPECT_TRUE(storedRows().empty());
}

TEST_F(LogStoreTest, ShutdownStopsDatabaseWork) {
  execute("INSERT INTO logs (priority, tag, message, timestamp) VALUES (4, 't', 'stays', 1)");
  LogUtil::flushAndClose();
  auto& state = LoggerState::shared();
  EXPECT_EQ(state.db, nullptr);
  std::atomic<bool> ran{false};
  LogStore::performDB([&] { ran = true; });
  LogStore::deleteLogsFromDb({1});
  onDbQueue([] { LogStore::cleanupTask(); });
  settle();
  EXPECT_FALSE(ran);
  ASSERT_EQ(storedRows().size(), 1u);
  auto batch = readBatch();
  EXPECT_TRUE(batch.failed);
}

}  // namespace
}  // namespace lumo::test
