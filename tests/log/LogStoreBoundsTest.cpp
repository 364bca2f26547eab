// The store is bounded like the intake: rows on disk, bytes per upload, text per memory
// entry; and the space of deleted rows goes back to the file system.
#include <set>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/log/LogStore.h"
#include "tests/log/LogTestSupport.h"

namespace lumo::test {
namespace {

using logging::LoggerState;
using logging::LogStore;

class LogStoreBoundsTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    LogUtil::initialize("https://127.0.0.1:1/app_log/save");
    settle();
    ASSERT_NE(LoggerState::shared().db, nullptr);
  }

  void fill(std::int64_t rows, const std::string& text) {
    execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(rows) +
            ") INSERT INTO logs (priority, tag, message, timestamp) SELECT 3, 'old', " + text +
            ", 1767225600000 - 1000000 + i FROM n");
  }

  std::int64_t pragma(const std::string& name) {
    std::int64_t value = -1;
    LoggerState::shared().dbQueue->sync([&] {
      sqlite3_stmt* statement = nullptr;
      sqlite3_prepare_v2(LoggerState::shared().db, ("PRAGMA " + name).c_str(), -1, &statement, nullptr);
      if (statement && sqlite3_step(statement) == SQLITE_ROW) value = sqlite3_column_int64(statement, 0);
      sqlite3_finalize(statement);
    });
    return value;
  }
};

TEST_F(LogStoreBoundsTest, AFullStoreLetsItsOldestRowsGoAndCountsThem) {
  fill(LogStore::kMaxStoredRows, "'m' || i");
  // The oldest rows are out for upload: they stay, the next oldest go instead.
  LogStore::Batch pending;
  LoggerState::shared().dbQueue->sync([&] { pending = LogStore::readBatch(); });
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

TEST_F(LogStoreBoundsTest, BatchesAreBoundedInBytesMemoryEntriesLikeRowsAndSpaceGoesBack) {
  EXPECT_EQ(pragma("auto_vacuum"), 2) << "incremental";
  // 60 rows of 100 kB: more than one upload may carry.
  fill(60, "hex(zeroblob(50000))");
  LogStore::Batch batch;
  LoggerState::shared().dbQueue->sync([&] { batch = LogStore::readBatch(); });
  std::size_t bytes = 0;
  for (const auto& row : batch.rows) bytes += row.message.size() + row.tag.size();
  EXPECT_LE(bytes, LogStore::kMaxBatchBytes);
  EXPECT_GT(batch.rows.size(), 1u);
  EXPECT_LT(batch.rows.size(), 60u);

  // Deleted rows give their pages back at the clean-up.
  execute("DELETE FROM logs");
  EXPECT_GT(pragma("freelist_count"), 0);
  LoggerState::shared().dbQueue->sync([] { LogStore::cleanupTask(); });
  EXPECT_EQ(pragma("freelist_count"), 0);

  // A memory entry is cut like a stored message.
  logging::cacheLogInMemory(LogPriority::info, "mem", std::string(LogStore::kMaxMessageCharacters + 500, 'y'));
  settle();
  auto entries = memoryEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].message, std::string(LogStore::kMaxMessageCharacters, 'y') + "...");
}

}  // namespace
}  // namespace lumo::test
