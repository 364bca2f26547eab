// Every record accounted for: under each fault a known set of records is logged, the uploader
// runs its rounds, the fault heals, and each record must have reached the backend exactly once
// or still be stored, unless the clean-up rules dropped it (counted).
#include <sqlite3.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/dispatch/DispatchQueue.h"
#include "sim/backend/BackendSimulator.h"
#include "tests/log/LogTestSupport.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;
using logging::LoggerState;
using sim::BackendReply;

constexpr const char* kToken = "fault-token";
constexpr const char* kSavePath = "/app_log/save";
constexpr int kRecords = 30;

struct Fault {
  std::string name;
  // Before the logger starts (database faults) and once it runs.
  std::function<void()> beforeStart = [] {};
  std::function<void()> afterStart = [] {};
  std::function<void()> heal = [] {};
  // Failed rounds before healing.
  int rounds = 3;
  // The fault lasts long enough for the retry limit and the hourly clean-up to drop records.
  bool dropsExpected = false;
  // Every upload fails while the fault lasts, so each record must show a failed round before
  // the healing: proof that the fault took hold.
  bool uploadsFail = false;
};

struct Count {
  int delivered = 0;   // reached the backend exactly once
  int duplicated = 0;  // reached it more than once
  int stored = 0;      // still in the database or the memory buffer
  int dropped = 0;     // gone without delivery
  int retried = 0;     // stored with a failed upload counted, just before the healing
};

class LogFaultMatrixTest : public LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    NetworkUtil::setAccessTokenSource([] { return std::string(kToken); });
  }
  void TearDown() override {
    LogTest::TearDown();
    NetworkUtil::setAccessTokenSource(nullptr);
    NetworkUtil::setTimeLimitForTesting(NetworkUtil::kTimeoutSeconds);
    backend_.reset();
  }

  void startBackend() {
    backend_ = sim::BackendSimulator::start();
    ASSERT_TRUE(backend_);
    ASSERT_TRUE(backend_->trustInPlatform());
    backend_->world().addUser(kToken, "faults");
  }

  void removeDatabase() {
    std::error_code ignored;
    std::filesystem::remove_all(sandboxDir() / "Documents", ignored);
  }

  // Runs one fault from a fresh logger and database and counts where its records ended up.
  Count run(const Fault& fault) {
    logging::LoggerState::resetForTesting();
    removeDatabase();
    startBackend();
    fault.beforeStart();
    LogUtil::initialize(backend_->baseUrl() + kSavePath);
    settle();
    fault.afterStart();
    for (int i = 0; i < kRecords; ++i) LogUtil::i(fault.name + " #" + std::to_string(i), std::string("fault"));
    settle();
    runFor(10s + (fault.rounds - 1) * 60s + 1s);
    retriedBeforeHeal_ = 0;
    if (logging::LogStore::isOpen()) {
      for (const auto& row : storedRows()) retriedBeforeHeal_ += row.retryCount > 0 ? 1 : 0;
    }
    fault.heal();
    if (fault.dropsExpected) runFor(3600s);
    // Enough rounds for the memory buffer and the batch to go.
    runFor(4 * 60s);

    return tally(fault);
  }

  // The first round's upload is in flight when the host shuts the SDK down; it then starts
  // again, as after a restart, with the backend healthy.
  Count runShutdownMidUpload(const Fault& fault) {
    logging::LoggerState::resetForTesting();
    removeDatabase();
    startBackend();
    LogUtil::initialize(backend_->baseUrl() + kSavePath);
    settle();
    for (int i = 0; i < kRecords; ++i) LogUtil::i(fault.name + " #" + std::to_string(i), std::string("fault"));
    settle();
    fault.afterStart();
    // The host shuts down as soon as the first round's upload reached the backend, whose
    // answer is held back in real time.
    std::atomic<bool> midUpload{false};
    std::thread host([this, &midUpload] {
      backend_->waitForRequests(1, 10s);
      midUpload = LoggerState::shared().isUploading.load();
      LogUtil::flushAndClose();
    });
    runFor(10s);
    runFor(5s);  // the shutdown waits for the upload in clock time
    host.join();
    EXPECT_TRUE(midUpload);
    EXPECT_FALSE(LoggerState::shared().isInitialized);
    settle();
    LogUtil::initialize(backend_->baseUrl() + kSavePath);
    settle();
    runFor(4 * 60s);
    return tally(fault);
  }

  Count tally(const Fault& fault) {
    // Stopping the server waits for every request it holds; one it held past the client's
    // limits is served now and counts like any other.
    backend_->refuseConnections();
    std::map<std::string, int> reached;
    for (const auto& body : backend_->world().logUploads()) {
      for (const auto& log : body["logs"]) ++reached[log["message"].get<std::string>()];
    }
    std::map<std::string, int> kept;
    // The logger may have kept nothing on disk (an unusable file): then only memory counts.
    if (std::filesystem::exists(databasePath()) && LoggerState::shared().dbOpenFailed == false) {
      for (const auto& row : storedRows()) ++kept[row.message];
    }
    for (const auto& entry : memoryEntries()) ++kept[entry.message];

    Count count;
    count.retried = retriedBeforeHeal_;
    retriedBeforeHeal_ = 0;
    for (int i = 0; i < kRecords; ++i) {
      std::string message = fault.name + " #" + std::to_string(i);
      int times = reached[message];
      if (times == 1) ++count.delivered;
      if (times > 1) ++count.duplicated;
      if (times == 0 && kept[message] > 0) ++count.stored;
      if (times == 0 && kept[message] == 0) ++count.dropped;
    }
    LogUtil::flushAndClose();
    backend_.reset();
    return count;
  }

  void holdDatabaseLock(bool hold) {
    if (hold) {
      std::filesystem::create_directories(sandboxDir() / "Documents");
      ASSERT_EQ(sqlite3_open(databasePath().c_str(), &locker_), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(locker_, "PRAGMA journal_mode=WAL; CREATE TABLE IF NOT EXISTS other(x); "
                                      "BEGIN EXCLUSIVE; INSERT INTO other VALUES (1);",
                             nullptr, nullptr, nullptr),
                SQLITE_OK);
    } else if (locker_) {
      sqlite3_exec(locker_, "ROLLBACK;", nullptr, nullptr, nullptr);
      sqlite3_close(locker_);
      locker_ = nullptr;
    }
  }

  std::unique_ptr<sim::BackendSimulator> backend_;
  sqlite3* locker_ = nullptr;
  int retriedBeforeHeal_ = 0;
};

TEST_F(LogFaultMatrixTest, EveryRecordIsDeliveredOnceOrStillStored) {
  auto queue = [this](BackendReply reply, int times) {
    return [this, reply, times] {
      for (int i = 0; i < times; ++i) backend_->queueReply(kSavePath, reply);
    };
  };
  auto failing = [](Fault fault) {
    fault.uploadsFail = true;
    return fault;
  };
  std::vector<Fault> faults;
  faults.push_back(failing({"backend down", [] {}, [this] { backend_->refuseConnections(); },
                            [this] { ASSERT_TRUE(backend_->acceptConnections()); }}));
  faults.push_back(failing({"garbage answers", [] {}, queue(BackendReply::raw("<html>bad gateway"), 3)}));
  faults.push_back(
      failing({"HTTP 500", [] {}, queue(BackendReply::envelopeWith({{"code", 7}, {"msg", "oops"}}, 500), 3)}));
  faults.push_back(failing({"code 1001", [] {}, queue(BackendReply::code(1001, "授权已过期"), 3)}));
  faults.push_back(failing({"dropped mid-body", [] {}, queue(BackendReply::drop(), 3)}));
  faults.push_back({"database unwritable",
                    [this] { std::ofstream(sandboxDir() / "Documents") << "a file where the folder should be"; },
                    [] {}, [this] { removeDatabase(); }});
  faults.push_back({"database corrupt",
                    [this] {
                      std::filesystem::create_directories(sandboxDir() / "Documents");
                      std::ofstream(databasePath(), std::ios::binary) << std::string(8192, '\x5a');
                    }});
  faults.push_back({"database locked", [this] { holdDatabaseLock(true); }, [] {},
                    [this] { holdDatabaseLock(false); }});
  faults.push_back({"disk full", [] {},
                    [] {
                      auto& state = LoggerState::shared();
                      state.dbQueue->sync([&state] {
                        sqlite3_exec(state.db, "PRAGMA max_page_count = 1;", nullptr, nullptr, nullptr);
                      });
                    }});
  faults.push_back({"shutdown mid-upload", [] {},
                    [this] { backend_->queueReply(kSavePath, BackendReply::service().after(0.3s)); }, [] {}, 1});
  // The upload's limits are shortened to one second of real time for these rows. Silence is
  // judged by curl over a window of about five seconds in which the request's own bytes still
  // count, so an answer or a body piece must stay away longer than that to trip the limit;
  // one failed round each keeps the real time down.
  auto slow = [](std::function<void()> arrange) {
    return [arrange] {
      NetworkUtil::setTimeLimitForTesting(1.0);
      arrange();
    };
  };
  auto healSlow = [this] {
    NetworkUtil::setTimeLimitForTesting(NetworkUtil::kTimeoutSeconds);
    ASSERT_TRUE(backend_->acceptConnections());
  };
  faults.push_back(failing({"slow: TLS past connect limit", [] {},
                            slow([this] { ASSERT_TRUE(backend_->stallConnections()); }), healSlow}));
  faults.push_back(failing({"slow: answer past idle limit", [] {},
                            slow(queue(BackendReply::service().after(std::chrono::seconds(12)), 1)), healSlow, 1}));
  faults.push_back(failing({"slow: body trickled past it", [] {},
                            slow(queue(BackendReply::service().trickled(std::chrono::seconds(120)), 1)), healSlow, 1}));
  faults.push_back(failing({"slow: answer dripped", [] {},
                            slow(queue(BackendReply::service().dripped(std::chrono::milliseconds(250)), 1)), healSlow, 1}));
  faults.push_back({"backend down for 6 rounds", [] {}, [this] { backend_->refuseConnections(); },
                    [this] { ASSERT_TRUE(backend_->acceptConnections()); }, 6, true});

  std::printf("\n%-28s %9s %9s %9s %9s %9s\n", "fault", "retried", "delivered", "twice+", "stored", "dropped");
  for (const auto& fault : faults) {
    Count count;
    if (fault.name == "shutdown mid-upload") {
      count = runShutdownMidUpload(fault);
    } else {
      count = run(fault);
    }
    std::printf("%-28s %9d %9d %9d %9d %9d\n", fault.name.c_str(), count.retried, count.delivered, count.duplicated,
                count.stored, count.dropped);
    if (fault.uploadsFail) {
      EXPECT_EQ(count.retried, kRecords) << fault.name << ": the fault never held the uploads back";
    }
    EXPECT_EQ(count.delivered + count.duplicated + count.stored + count.dropped, kRecords) << fault.name;
    // A batch the backend kept though the uploader gave up on its answer is resent under the
    // same idempotency key, and the backend keeps it once.
    EXPECT_EQ(count.duplicated, 0) << fault.name;
    if (fault.dropsExpected) {
      EXPECT_EQ(count.dropped, kRecords) << fault.name << ": five failed rounds, then the clean-up";
    } else {
      EXPECT_EQ(count.dropped, 0) << fault.name;
      EXPECT_EQ(count.delivered, kRecords) << fault.name << ": healed, so everything went";
    }
  }
}

}  // namespace
}  // namespace lumo::test
