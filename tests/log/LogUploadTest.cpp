#include <atomic>
#include <set>
#include <thread>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LogUploader.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Application.h"
#include "sim/backend/BackendSimulator.h"
#include "tests/log/LogUploadFixture.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;
using logging::LoggerState;
using logging::LogUploader;

class LogUploadTest : public LogUploadFixture {};

TEST_F(LogUploadTest, RoundsSendMemoryFirstThenDatabaseBatchesAndDeleteWhatWasAccepted) {
  startLogger();
  LogUtil::setUserInfo({{"userId", "u1"}, {"userName", "张三"}});
  logging::cacheLogInMemory(LogPriority::warn, "mem", "kept in memory");
  insertRow("stored", 1767225600123);
  settle();

  runFor(9s);
  EXPECT_TRUE(uploads().empty()) << "the first round comes 10 s after start";
  runFor(1s);
  auto bodies = uploads();
  ASSERT_EQ(bodies.size(), 1u);
  const auto& memoryBody = bodies[0];
  ASSERT_EQ(memoryBody["logs"].size(), 1u);
  EXPECT_EQ(memoryBody["logs"][0]["message"], "kept in memory");
  EXPECT_EQ(memoryBody["logs"][0]["priority"], 5);
  EXPECT_TRUE(memoryBody["logs"][0]["timestamp"].is_number_float());
  EXPECT_EQ(memoryBody["accessToken"], kToken);
  EXPECT_EQ(memoryBody["user_Info"], (nlohmann::json{{"userId", "u1"}, {"userName", "张三"}}));
  for (const char* key : {"model", "os_version", "device_name", "system_name"}) {
    EXPECT_TRUE(memoryBody["device_info"][key].is_string()) << key;
  }
  EXPECT_TRUE(memoryEntries().empty());
  EXPECT_EQ(storedRows().size(), 1u) << "a memory round leaves the database alone";

  runFor(60s);
  bodies = uploads();
  ASSERT_EQ(bodies.size(), 2u);
  ASSERT_EQ(bodies[1]["logs"].size(), 1u);
  EXPECT_EQ(bodies[1]["logs"][0], (nlohmann::json{{"priority", 5},
                                                   {"tag", "row"},
                                                   {"message", "stored"},
                                                   {"timestamp", "2026-01-01 00:00:00.123"}}));
  EXPECT_TRUE(storedRows().empty());
  EXPECT_FALSE(LoggerState::shared().isUploading);

  // Nothing left: later rounds post nothing.
  runFor(120s);
  EXPECT_EQ(uploads().size(), 2u);
}

TEST_F(LogUploadTest, RejectedUploadsCountRetriesForRowsAndKeepMemoryEntries) {
  startLogger();
  insertRow("stubborn", 1767225600000);
  backend_->queueReply(kSavePath, sim::BackendReply::code(1001, "授权已过期"));
  backend_->queueReply(kSavePath, sim::BackendReply::raw("[1,2,3]"));
  backend_->queueReply(kSavePath, sim::BackendReply::envelopeWith({{"code", "0"}}));
  backend_->queueReply(kSavePath, sim::BackendReply::envelopeWith({{"code", 7}}, 500));
  backend_->queueReply(kSavePath, sim::BackendReply::drop());
  runFor(10s + 4 * 60s);
  EXPECT_EQ(backend_->unusedReplies(), 0u);
  auto rows = storedRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].retryCount, 5);
  // Exhausted: no longer read for upload, and gone at the hourly clean-up.
  runFor(60s);
  EXPECT_EQ(uploads().size(), 5u);
  runFor(3600s);
  EXPECT_TRUE(storedRows().empty());

  // A rejected memory upload leaves its entries for a later round.
  logging::cacheLogInMemory(LogPriority::info, "mem", "again");
  settle();
  backend_->refuseConnections();
  runFor(60s);
  EXPECT_EQ(memoryEntries().size(), 1u);
  ASSERT_TRUE(backend_->acceptConnections());
  runFor(60s);
  EXPECT_TRUE(memoryEntries().empty());
}

// A backend that accepted a batch but whose answer never arrived gets the same records again:
// under the same idempotency key, with the same body, whatever was logged in between.
TEST_F(LogUploadTest, AResentBatchCarriesTheSameRecordsUnderTheSameIdempotencyKey) {
  startLogger();
  insertRow("a", 1767225600000);
  insertRow("b", 1767225600001);
  backend_->queueReply(kSavePath, sim::BackendReply::code(7, "busy"));
  runFor(10s);
  insertRow("c", 1767225600002);
  runFor(60s);
  runFor(60s);
  logging::cacheLogInMemory(LogPriority::info, "mem", "m1");
  settle();
  backend_->queueReply(kSavePath, sim::BackendReply::drop());
  runFor(60s);
  logging::cacheLogInMemory(LogPriority::info, "mem", "m2");
  settle();
  runFor(60s);
  runFor(60s);

  auto requests = backend_->requestsTo(kSavePath);
  ASSERT_EQ(requests.size(), 6u);
  std::vector<std::string> keys;
  for (const auto& request : requests) keys.push_back(request.header("idempotency-key"));
  EXPECT_EQ(keys[0].size(), 64u) << "a SHA-256 in hex";
  EXPECT_EQ(keys[1], keys[0]);
  EXPECT_EQ(requests[1].json["logs"], requests[0].json["logs"]);
  EXPECT_EQ(requests[1].json["logs"].size(), 2u) << "the row logged in between waits for the next batch";
  EXPECT_NE(keys[2], keys[0]);
  EXPECT_EQ(requests[2].json["logs"][0]["message"], "c");
  EXPECT_EQ(keys[4], keys[3]);
  EXPECT_EQ(requests[4].json["logs"], requests[3].json["logs"]);
  EXPECT_NE(keys[5], keys[3]);
  EXPECT_EQ(requests[5].json["logs"][0]["message"], "m2");
  // The body is what a backend that knows no such header always got.
  for (const auto& request : requests) {
    std::set<std::string> members;
    for (const auto& [name, value] : request.json.items()) members.insert(name);
    EXPECT_EQ(members, (std::set<std::string>{"logs", "device_info", "accessToken"}));
  }
  EXPECT_EQ(uploadedMessages().size(), 8u);
  EXPECT_TRUE(storedRows().empty());
  EXPECT_TRUE(memoryEntries().empty());
}

TEST_F(LogUploadTest, EntriesCachedWhileAMemoryUploadIsInFlightSurviveIt) {
  startLogger();
  for (int i = 0; i < 3; ++i) logging::cacheLogInMemory(LogPriority::info, "mem", "first " + std::to_string(i));
  settle();
  // The answer is held back in real time while another thread adds two entries.
  backend_->queueReply(kSavePath, sim::BackendReply::code(0).after(0.3s));
  std::thread writer([this] {
    backend_->waitForRequests(1, 10s);
    for (int i = 0; i < 2; ++i) logging::cacheLogInMemory(LogPriority::info, "mem", "late " + std::to_string(i));
  });
  runFor(10s);
  writer.join();
  settle();
  auto entries = memoryEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].message, "late 0");
  EXPECT_EQ(uploads()[0]["logs"].size(), 3u);
}

TEST_F(LogUploadTest, ForcedUploadWaitsForTheRunningRoundThenSendsMemoryAndOneBatch) {
  startLogger();
  logging::cacheLogInMemory(LogPriority::info, "mem", "memory record");
  insertRow("database record", 1767225600000);
  settle();
  backend_->queueReply(kSavePath, sim::BackendReply::code(0).after(0.3s));
  std::atomic<int> completions{0};
  std::thread forcer([&] {
    backend_->waitForRequests(1, 10s);  // the periodic round is in flight now
    LogUtil::forceUploadLogs([&] { completions.fetch_add(1); });
  });
  runFor(10s);
  forcer.join();
  ASSERT_TRUE(runUntil([&] { return completions.load() > 0; }, 5s));
  runFor(1s);
  EXPECT_EQ(completions.load(), 1);
  EXPECT_TRUE(systemLogHas("Upload already in progress, waiting to complete"));
  EXPECT_TRUE(systemLogHas("Force uploading database logs"));
  EXPECT_TRUE(systemLogHas("Database logs uploaded successfully"));
  auto bodies = uploads();
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0]["logs"][0]["message"], "memory record");
  EXPECT_EQ(bodies[1]["logs"][0]["message"], "database record");
  EXPECT_TRUE(storedRows().empty());
}

TEST_F(LogUploadTest, EnteringTheBackgroundTwiceEndsEachBackgroundTaskOnce) {
  startLogger();
  auto& app = platform::ui::Application::shared();
  insertRow("bg", 1767225600000);
  app.simulateDidEnterBackground();
  app.simulateDidEnterBackground();
  EXPECT_EQ(app.runningBackgroundTaskCount(), 2u);
  ASSERT_TRUE(runUntil([&] { return app.runningBackgroundTaskCount() == 0; }, 5s));
  EXPECT_TRUE(systemLogHas("App did enter background, uploading logs"));
  EXPECT_TRUE(storedRows().empty());
  // The expiration handlers come later and find their tasks already ended.
  runFor(60s);
  EXPECT_EQ(app.runningBackgroundTaskCount(), 0u);
}

TEST_F(LogUploadTest, WithoutAServerUrlUploadsStopAndClearTheFlag) {
  auto& state = LoggerState::shared();
  state.isUploading = true;
  bool delivered = true;
  LogUploader::sendLogsToServer({logging::LogRow{1, LogPriority::info, "t", "m", 0}}, [&](bool ok) { delivered = ok; });
  EXPECT_FALSE(delivered);
  EXPECT_FALSE(state.isUploading);
  EXPECT_TRUE(systemLogHas("Server URL not set"));

  state.isUploading = true;
  delivered = true;
  LogUploader::sendMemoryLogsToServer([&](bool ok) { delivered = ok; });
  EXPECT_FALSE(delivered);
  EXPECT_FALSE(state.isUploading);
  EXPECT_TRUE(uploads().empty());
}

TEST_F(LogUploadTest, ARoundThatFindsAnUploadRunningChangesNothing) {
  startLogger();
  insertRow("waiting", 1767225600000);
  LoggerState::shared().isUploading = true;
  runFor(10s);
  EXPECT_TRUE(systemLogHas("Upload already in progress"));
  EXPECT_TRUE(uploads().empty());
  EXPECT_EQ(storedRows().size(), 1u);
  LoggerState::shared().isUploading = false;
}

}  // namespace
}  // namespace lumo::test
