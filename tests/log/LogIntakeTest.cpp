// The intake batches records off the caller's thread and writes their console lines there;
// these cases check that batching loses, reorders and half-stores nothing, on disk or on the
// console.
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/foundation/ConsoleLog.h"
#include "tests/log/LogTestSupport.h"

namespace lumo::test {
namespace {

using logging::LoggerState;

class LogIntakeTest : public LogTest {};

TEST_F(LogIntakeTest, RecordsKeepTheirOrderAndShutdownStoresEveryAcceptedOne) {
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  constexpr int kPerThread = 3000;
  std::vector<std::thread> writers;
  for (int writer = 0; writer < 3; ++writer) {
    writers.emplace_back([writer] {
      for (int i = 0; i < kPerThread; ++i) LogUtil::i(std::to_string(i), "w" + std::to_string(writer));
    });
  }
  for (auto& thread : writers) thread.join();
  // No settle: whatever is still gathering or on its way must be stored by the shutdown.
  LogUtil::flushAndClose();

  auto rows = storedRows();
  ASSERT_EQ(rows.size(), 3u * kPerThread);
  std::map<std::string, int> next;
  for (const auto& row : rows) {
    EXPECT_EQ(row.message, std::to_string(next[row.tag])) << "record of " << row.tag << " out of order";
    next[row.tag] = std::stoi(row.message) + 1;
  }
  EXPECT_EQ(next.size(), 3u);
}

TEST_F(LogIntakeTest, ABatchTheDiskCannotHoldWaitsInMemoryWhole) {
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  auto& state = LoggerState::shared();
  // Room for a few more pages only: SQLite's own limit stands in for a full disk.
  state.dbQueue->sync([&state] {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(state.db, "PRAGMA page_count;", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    auto limit = std::to_string(sqlite3_column_int64(statement, 0) + 3);
    sqlite3_finalize(statement);
    ASSERT_EQ(sqlite3_exec(state.db, ("PRAGMA max_page_count = " + limit + ";").c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK);
  });
  const std::string bulky(3000, 'x');
  for (int i = 0; i < 40; ++i) LogUtil::i(bulky + std::to_string(i), std::string("big"));
  settle();

  std::set<std::string> seen;
  for (const auto& row : storedRows()) seen.insert(row.message);
  std::size_t stored = seen.size();
  for (const auto& entry : memoryEntries()) seen.insert(entry.message);
  EXPECT_EQ(seen.size(), 40u) << "every record is either stored or waits in memory";
  EXPECT_LT(stored, 40u);
  EXPECT_EQ(stored + memoryEntries().size(), 40u) << "no record is both stored and in memory";
}

// Each writer mixes log records with lines written straight to the console, as the SDK's own
// diagnostics are. Read without any flush after the shutdown, the console must hold every
// line once, each writer's lines in the order it made them.
TEST_F(LogIntakeTest, ConsoleLinesKeepEachCallersOrderAndAreAllOutAfterShutdown) {
  using platform::foundation::ConsoleLog;
  std::mutex mutex;
  std::vector<std::string> lines;
  ConsoleLog::setSink([&](std::string_view line) {
    std::lock_guard lock(mutex);
    lines.emplace_back(line);
  });
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  constexpr int kWriters = 3;
  constexpr int kPerWriter = 2000;
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.emplace_back([writer] {
      std::string name = "w" + std::to_string(writer);
      for (int i = 0; i < kPerWriter; ++i) {
        if (i % 7 == 3) {
          ConsoleLog::write({name, ":", std::to_string(i)});
        } else {
          LogUtil::d(std::to_string(i), name);
        }
      }
    });
  }
  for (auto& thread : writers) thread.join();
  LogUtil::flushAndClose();

  std::vector<std::string> seen;
  {
    std::lock_guard lock(mutex);
    seen = lines;
  }
  ConsoleLog::setSink(nullptr);
  std::map<std::string, int> next;
  for (const auto& line : seen) {
    auto colon = line.find(':');
    ASSERT_NE(colon, std::string::npos) << line;
    std::string writer = line.substr(0, colon);
    EXPECT_EQ(line.substr(colon + 1), std::to_string(next[writer])) << "line of " << writer << " out of order";
    next[writer] = std::stoi(line.substr(colon + 1)) + 1;
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kWriters * kPerWriter));
  for (int writer = 0; writer < kWriters; ++writer) EXPECT_EQ(next["w" + std::to_string(writer)], kPerWriter);
}

// A host that exits without shutting the logger down still gets the lines of its last calls,
// though no batch was handed on yet.
TEST_F(LogIntakeTest, ANormalExitWritesTheLastConsoleLines) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        platform::foundation::ConsoleLog::setSink(nullptr);
        LogUtil::initialize("https://127.0.0.1:1/app_log/save");
        settle();
        for (int i = 0; i < 3; ++i) LogUtil::i("last words " + std::to_string(i), std::string("exit"));
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "exit:last words 0\nexit:last words 1\nexit:last words 2\n");
}

}  // namespace
}  // namespace lumo::test
