#include <nlohmann/json.hpp>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <tuple>
#include <thread>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/log/LogStore.h"
#include "platform/foundation/NotificationCenter.h"
#include "tests/log/LogTestSupport.h"

namespace lumo::test {
namespace {

using logging::LoggerState;

class LogUtilTest : public LogTest {};

TEST_F(LogUtilTest, RecordsBeforeInitialiseAreLostWithoutTrace) {
  LogUtil::d("early", std::nullopt);
  LogUtil::e("early", std::string("BLE"));
  settle();
  EXPECT_TRUE(consoleLines().empty());
  EXPECT_TRUE(memoryEntries().empty());
  EXPECT_FALSE(std::filesystem::exists(databasePath()));
}

TEST_F(LogUtilTest, RecordsArePrintedVerbatimAndStoredWithTheirTag) {
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  LogUtil::d("x", std::nullopt);
  LogUtil::w("x", std::string("BLE"));
  LogUtil::i("count %d of %s%n", std::string("fmt"));
  LogObject record;
  record.putInt("a", 1).putString("b", "x");
  LogUtil::logInfo("ble_state", record);
  settle();

  EXPECT_EQ(consoleLines(), (std::vector<std::string>{"LogUtil:x", "BLE:x", "fmt:count %d of %s%n",
                                                      "ble_state:{\"a\":1,\"b\":\"x\"}"}));
  auto rows = storedRows();
  ASSERT_EQ(rows.size(), 4u);
  // The concurrent first hop promises no order; compare as a set of (priority, tag, message).
  std::multiset<std::tuple<int, std::string, std::string>> stored;
  for (const auto& row : rows) stored.emplace(row.priority, row.tag, row.message);
  std::multiset<std::tuple<int, std::string, std::string>> expected{
      {3, "LogUtil", "x"}, {5, "BLE", "x"}, {4, "fmt", "count %d of %s%n"}, {4, "ble_state", "{\"a\":1,\"b\":\"x\"}"}};
  EXPECT_EQ(stored, expected);
  for (const auto& row : rows) {
    EXPECT_EQ(row.timestamp, 1767225600000) << "virtual wall clock, truncated to milliseconds";
    EXPECT_EQ(row.retryCount, 0);
  }
  EXPECT_TRUE(memoryEntries().empty());
}

TEST_F(LogUtilTest, SecondInitialiseKeepsTheFirstUrlAndSaysSo) {
  LogUtil::initialize("https://first.example/app_log/save");
  LogUtil::initialize("https://second.example/app_log/save");
  EXPECT_TRUE(systemLogHas("LogUtil already initialized"));
  EXPECT_EQ(LoggerState::shared().serverUrl(), std::optional<std::string>("https://first.example/app_log/save"));
}

TEST_F(LogUtilTest, WithoutADatabaseTheNewest1000RecordsWaitInMemory) {
  // Documents is a file, so the database cannot be created.
  std::ofstream(sandboxDir() / "Documents") << "not a folder";
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  EXPECT_TRUE(LoggerState::shared().dbOpenFailed);
  for (int i = 0; i < 1001; ++i) {
    LogUtil::i("record " + std::to_string(i), std::string("mem"));
    settle();  // one at a time, so the buffer's order is the logging order
  }
  auto entries = memoryEntries();
  ASSERT_EQ(entries.size(), 1000u);
  EXPECT_EQ(entries.front().message, "record 1");
  EXPECT_EQ(entries.back().message, "record 1000");
  EXPECT_EQ(entries.back().priority, 4);
  EXPECT_EQ(entries.back().tag, "mem");
  EXPECT_DOUBLE_EQ(entries.back().timestamp, 1767225600000.0);
}

TEST_F(LogUtilTest, ADamagedDatabaseFileSendsRecordsToMemoryAndIsLeftAlone) {
  std::filesystem::create_directories(sandboxDir() / "Documents");
  std::string garbage(4096, '\x5a');
  std::ofstream(databasePath(), std::ios::binary) << garbage;
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  LogUtil::e("after damage", std::string("t"));
  settle();
  EXPECT_TRUE(LoggerState::shared().dbOpenFailed);
  ASSERT_EQ(memoryEntries().size(), 1u);
  std::ifstream file(databasePath(), std::ios::binary);
  std::string contents((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(contents, garbage) << "the damaged file is never overwritten";
}

TEST_F(LogUtilTest, ShutdownRefusesLaterRecordsAndKeepsStoredOnes) {
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  LogUtil::i("kept", std::string("t"));
  settle();
  LogUtil::flushAndClose();
  auto& state = LoggerState::shared();
  EXPECT_FALSE(state.isInitialized);
  EXPECT_TRUE(state.isShuttingDown);
  clearRecordedLines();

  LogUtil::i("refused", std::string("t"));
  settle();
  EXPECT_TRUE(consoleLines().empty());
  ASSERT_EQ(storedRows().size(), 1u);
  EXPECT_EQ(storedRows()[0].message, "kept");

  // A second shutdown returns at once; a forced upload is skipped.
  LogUtil::flushAndClose();
  EXPECT_TRUE(state.isShuttingDown);
  bool completed = false;
  LogUtil::forceUploadLogs([&] { completed = true; });
  EXPECT_TRUE(completed);
  EXPECT_TRUE(systemLogHas("Logger not initialized or shutting down, skipping force upload"));
}

TEST_F(LogUtilTest, TerminationFlushesAndClosesTheLogger) {
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  EXPECT_TRUE(systemLogHas("Background notification observers registered"));
  platform::foundation::NotificationCenter::defaultCenter().post("UIApplicationWillTerminateNotification");
  EXPECT_TRUE(systemLogHas("App will terminate, flushing logs"));
  EXPECT_TRUE(LoggerState::shared().isShuttingDown);
  EXPECT_FALSE(LoggerState::shared().isBackgroundObserverRegistered);
}

TEST_F(LogUtilTest, InvalidUtf8IsPrintedAsIsAndStoredAsValidText) {
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  std::string broken = std::string("ab\xff\xfe") + "c\xe4\xb8";
  LogUtil::w(broken, std::string("utf8"));
  settle();
  EXPECT_EQ(consoleLines(), std::vector<std::string>{"utf8:" + broken});
  ASSERT_EQ(storedRows().size(), 1u);
  EXPECT_EQ(storedRows()[0].message, "ab\xEF\xBF\xBD\xEF\xBF\xBD" "c\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(LogUtilTest, ManyThreadsLoggingAtOnceLoseNothing) {
  LogUtil::initialize("https://127.0.0.1:1/app_log/save");
  settle();
  constexpr int kThreads = 4;
  constexpr int kPerThread = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kPerThread; ++i) {
        LogUtil::d("t" + std::to_string(t) + "-" + std::to_string(i), std::string("mt"));
        if (i == kPerThread / 2) LogUtil::setUserInfo({{"thread", t}});
      }
    });
  }
  for (auto& thread : threads) thread.join();
  settle();
  EXPECT_EQ(storedRows().size(), static_cast<size_t>(kThreads * kPerThread));
  EXPECT_EQ(consoleLines().size(), static_cast<size_t>(kThreads * kPerThread));
  EXPECT_TRUE(LoggerState::shared().userInfo().has_value());
}

TEST(LogObjectTest, DescribesItselfAsCompactJsonOrEmptyObject) {
  LogObject record;
  EXPECT_EQ(record.description(), "{}");
  record.putInt("a", 1).putString("b", "x");
  EXPECT_EQ(nlohmann::json::parse(record.description()), (nlohmann::json{{"a", 1}, {"b", "x"}}));
  record.putLong("big", 9007199254740993LL).putBool("ok", true).putDouble("d", 0.5).put("list", {1, "two"});
  auto parsed = nlohmann::json::parse(record.description());
  EXPECT_EQ(parsed["big"].get<std::int64_t>(), 9007199254740993LL);
  EXPECT_EQ(parsed.size(), 6u);
  record.putString("b", "y");  // replaces
  EXPECT_EQ(nlohmann::json::parse(record.description())["b"], "y");

  LogObject notFinite;
  notFinite.putDouble("nan", std::nan("")).putString("s", "fine");
  EXPECT_FALSE(notFinite.toJSONData().has_value());
  EXPECT_EQ(notFinite.description(), "{}");
  LogObject nested;
  nested.put("deep", {{"inf", std::numeric_limits<double>::infinity()}});
  EXPECT_EQ(nested.description(), "{}");
  LogObject badText;
  badText.putString("s", "\xc3\x28");
  EXPECT_EQ(badText.description(), "{}");

  // A subclass handing back bytes that are not UTF-8 still describes itself safely.
  struct Raw : LogObject {
    std::optional<std::vector<std::uint8_t>> toJSONData() const override { return std::vector<std::uint8_t>{0xff}; }
  };
  EXPECT_EQ(Raw().description(), "{}");

  EXPECT_FALSE(logPriorityFromRaw(1).has_value());
  EXPECT_FALSE(logPriorityFromRaw(7).has_value());
  EXPECT_EQ(logPriorityFromRaw(2), LogPriority::verbose);
  EXPECT_EQ(logPriorityFromRaw(6), LogPriority::error);
}

}  // namespace
}  // namespace lumo::test
