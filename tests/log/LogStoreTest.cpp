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
