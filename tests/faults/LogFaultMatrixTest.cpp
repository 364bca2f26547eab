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
};

struct Count {
  int delivered = 0;   // reached the backend exactly once
  int duplicated = 0;  // reached it more than once
  int stored = 0;      // still in the database or the memory buffer
  int dropped = 0;     // gone without delivery
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
};

TEST_F(LogFaultMatrixTest, EveryRecordIsDeliveredOnceOrStillStored) {
  auto queue = [this](BackendReply reply, int times) {
    return [this, reply, times] {
      for (int i = 0; i < times; ++i) backend_->queueReply(kSavePath, reply);
    };
  };
  std::vector<Fault> faults;
  faults.push_back({"backend down", [] {}, [this] { backend_->refuseConnections(); },
                    [this] { ASSERT_TRUE(backend_->acceptConnections()); }});
  faults.push_back({"garbage answers", [] {}, queue(BackendReply::raw("<html>bad gateway"), 3)});
  faults.push_back({"HTTP 500", [] {}, queue(BackendReply::envelopeWith({{"code", 7}, {"msg", "oops"}}, 500), 3)});
  faults.push_back({"code 1001", [] {}, queue(BackendReply::code(1001, "授权已过期"), 3)});
  faults.push_back({"dropped mid-body", [] {}, queue(BackendReply::drop(), 3)});
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
  faults.push_back({"backend down for 6 rounds", [] {}, [this] { backend_->refuseConnections(); },
                    [this] { ASSERT_TRUE(backend_->acceptConnections()); }, 6, true});

  std::printf("\n%-28s %9s %9s %9s %9s\n", "fault", "delivered", "twice+", "stored", "dropped");
  for (const auto& fault : faults) {
    Count count;
    if (fault.name == "shutdown mid-upload") {
      count = runShutdownMidUpload(fault);
    } else {
      count = run(fault);
    }
    std::printf("%-28s %9d %9d %9d %9d\n", fault.name.c_str(), count.delivered, count.duplicated, count.stored,
                count.dropped);
    EXPECT_EQ(count.delivered + count.duplicated + count.stored + count.dropped, kRecords) << fault.name;
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
