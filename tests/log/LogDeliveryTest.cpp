// Faults in which records were lost, sent twice or emptied out of every upload.
#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "lumosdk/utils/log/LogUploader.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/foundation/DeviceInfo.h"
#include "platform/ui/Application.h"
#include "tests/log/LogUploadFixture.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;
using logging::LoggerState;

class LogDeliveryTest : public LogUploadFixture {
 protected:
  void TearDown() override {
    platform::foundation::DeviceInfo::setNameForTesting(std::nullopt);
    LogUploadFixture::TearDown();
  }

  std::map<std::string, int> uploadCounts() const {
    std::map<std::string, int> counts;
    for (const auto& message : uploadedMessages()) ++counts[message];
    return counts;
  }
};

TEST_F(LogDeliveryTest, AFullBufferKeepsRecordsThatArrivedDuringTheUpload) {
  startLogger();
  for (int i = 0; i < 1000; ++i) logging::cacheLogInMemory(LogPriority::info, "mem", "old " + std::to_string(i));
  settle();
  backend_->queueReply(kSavePath, sim::BackendReply::code(0).after(0.3s));
  std::thread writer([this] {
    backend_->waitForRequests(1, 10s);
    // Each of these pushes out an entry that is already on its way.
    for (int i = 0; i < 5; ++i) logging::cacheLogInMemory(LogPriority::info, "mem", "new " + std::to_string(i));
  });
  runFor(10s);
  writer.join();
  settle();
  auto entries = memoryEntries();
  ASSERT_EQ(entries.size(), 5u) << "the accepted upload removed records it never sent";
  for (int i = 0; i < 5; ++i) EXPECT_EQ(entries[i].message, "new " + std::to_string(i));
  EXPECT_EQ(uploads()[0]["logs"].size(), 1000u);

  // The survivors go in the next round, so every record reached the backend exactly once.
  runFor(60s);
  auto counts = uploadCounts();
  EXPECT_EQ(counts.size(), 1005u);
  EXPECT_TRUE(std::all_of(counts.begin(), counts.end(), [](const auto& item) { return item.second == 1; }));
  EXPECT_TRUE(memoryEntries().empty());
}

TEST_F(LogDeliveryTest, AForcedUploadNeverRunsBesideATimerRound) {
  startLogger();
  for (int i = 0; i < 3; ++i) logging::cacheLogInMemory(LogPriority::info, "mem", "memory " + std::to_string(i));
  insertRow("stored", 1767225600000);
  settle();
  auto& state = LoggerState::shared();
  // A timer round is queued while no upload runs yet, and a forced upload starts right
  // behind it: both starts run back to back on the upload queue.
  platform::dispatch::Semaphore hold;
  state.uploadQueue->async([&hold] { hold.wait(); });
  state.uploadQueue->async([] { logging::LogUploader::sendLogsTask(); });
  backend_->queueReply(kSavePath, sim::BackendReply::code(0).after(0.3s));
  std::atomic<int> completions{0};
  LogUtil::forceUploadLogs([&] { completions.fetch_add(1); });
  hold.signal();
  ASSERT_TRUE(runUntil([&] { return completions.load() == 1; }, 30s));
  runFor(1s);

  auto counts = uploadCounts();
  EXPECT_EQ(counts, (std::map<std::string, int>{{"memory 0", 1}, {"memory 1", 1}, {"memory 2", 1}, {"stored", 1}}));
  EXPECT_TRUE(memoryEntries().empty());
  EXPECT_TRUE(storedRows().empty());
  EXPECT_FALSE(state.isUploading);
}

// Records still gathering in the intake when the host forces an upload (or the app goes to
// the background, where it may be killed next) travel with that upload, in the order logged.
// Several rounds, so that a flusher that happens to tick in between cannot hide a miss.
TEST_F(LogDeliveryTest, AForcedOrBackgroundUploadTakesEveryRecordLoggedBeforeIt) {
  startLogger();
  std::vector<std::string> expected;
  for (int round = 0; round < 5; ++round) {
    std::string name = std::to_string(round);
    LogUtil::i("main " + name, std::string("t"));
    std::thread([name] { LogUtil::w("worker " + name, std::string("t")); }).join();
    LogUtil::e("main again " + name, std::string("t"));
    std::atomic<int> completions{0};
    LogUtil::forceUploadLogs([&] { completions.fetch_add(1); });
    ASSERT_TRUE(runUntil([&] { return completions.load() == 1; }, 10s));
    for (const char* prefix : {"main ", "worker ", "main again "}) expected.push_back(prefix + name);
    EXPECT_EQ(uploadedMessages(), expected) << "round " << round;
  }

  // Entering the background: the same, also with no database open (the memory buffer).
  auto& state = LoggerState::shared();
  state.dbQueue->sync([] { logging::LogStore::close(); });
  state.dbOpenFailed = true;
  auto& app = platform::ui::Application::shared();
  for (int round = 0; round < 5; ++round) {
    LogUtil::i("before background " + std::to_string(round), std::string("t"));
    app.simulateDidEnterBackground();
    ASSERT_TRUE(runUntil([&] { return app.runningBackgroundTaskCount() == 0; }, 10s));
    expected.push_back("before background " + std::to_string(round));
    EXPECT_EQ(uploadedMessages(), expected) << "background round " << round;
  }
}

TEST_F(LogDeliveryTest, TextThatIsNotUtf8IsReplacedAndNeverEmptiesTheUpload) {
  platform::foundation::DeviceInfo::setNameForTesting(std::string("phone \xC3\x28 of \xFF"));
  startLogger();
  // A row written by another tool with bytes that are not UTF-8.
  execute("INSERT INTO logs (priority, tag, message, timestamp) VALUES (4, CAST(X'74FE67' AS TEXT), "
          "CAST(X'6F6BC0AF21' AS TEXT), 1767225600000)");
  LogUtil::i(std::string("clean record"), std::string("t"));
  settle();

  runFor(10s);
  auto requests = backend_->requestsTo(kSavePath);
  ASSERT_EQ(requests.size(), 1u);
  ASSERT_TRUE(requests[0].json.is_object()) << "body: '" << requests[0].body << "'";
  EXPECT_EQ(requests[0].json["device_info"]["device_name"], "phone \xEF\xBF\xBD( of \xEF\xBF\xBD");
  auto messages = uploadedMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], "ok\xEF\xBF\xBD\xEF\xBF\xBD!");
  EXPECT_EQ(requests[0].json["logs"][0]["tag"], "t\xEF\xBF\xBDg");
  EXPECT_EQ(messages[1], "clean record");
  EXPECT_TRUE(storedRows().empty()) << "the backend accepted the batch";
}

TEST_F(LogDeliveryTest, TextWithNulBytesTravelsWhole) {
  startLogger();
  const std::string message("before\0after", 12);
  LogUtil::w(message, std::string("nul\0tag", 7));
  settle();
  runFor(10s);
  auto bodies = uploads();
  ASSERT_EQ(bodies.size(), 1u);
  ASSERT_EQ(bodies[0]["logs"].size(), 1u);
  EXPECT_EQ(bodies[0]["logs"][0]["message"].get<std::string>(), message);
  EXPECT_EQ(bodies[0]["logs"][0]["tag"].get<std::string>(), std::string("nul\0tag", 7));
}

TEST_F(LogDeliveryTest, ANewInitialiseAfterShutdownStartsTheLoggerAgain) {
  startLogger();
  LogUtil::i("first life", std::string("t"));
  settle();
  LogUtil::flushAndClose();
  LogUtil::i("lost while shut down", std::string("t"));
  settle();

  LogUtil::initialize(backend_->baseUrl() + kSavePath);
  settle();
  ASSERT_NE(LoggerState::shared().db, nullptr);
  LogUtil::i("second life", std::string("t"));
  settle();
  auto rows = storedRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].message, "second life");

  // Timers run again: both records are delivered, and a second shutdown still works.
  runFor(10s);
  EXPECT_EQ(uploadedMessages(), (std::vector<std::string>{"first life", "second life"}));
  EXPECT_TRUE(storedRows().empty());
  LogUtil::flushAndClose();
  LogUtil::i("after the second shutdown", std::string("t"));
  settle();
  EXPECT_TRUE(storedRows().empty());
}

}  // namespace
}  // namespace lumo::test
