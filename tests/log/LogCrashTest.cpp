// Crash safety, tried the way SQLite tries itself: a child process logs and uploads against
// the backend simulator and is killed (SIGKILL) at seeded moments, then started again. After
// every kill the database must be sound; at the end no record may have reached the backend
// twice, and the records lost must be the last ones logged before a kill, no more than the
// intake holds. The moments are chosen by record number, so nothing here waits on a clock.
// LUMO_CRASH_KILLS sets the number of kills (25 by default, 8 in sanitizer builds; 200 for a
// long run).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/log/LogIntake.h"
#include "lumosdk/utils/log/LogStore.h"
#include "platform/net/TrustStore.h"
#include "sim/backend/BackendSimulator.h"
#include "tests/support/VirtualTimeTest.h"

extern char** environ;

namespace lumo::test {
namespace {

constexpr const char* kToken = "crash-token";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kDefaultKills = 8;
#else
constexpr int kDefaultKills = 25;
#endif
constexpr int kBursts = 10;
constexpr int kBurstSize = 200;

const char* variable(const char* name) { return std::getenv(name); }

void forceUploadAndWait() {
  std::promise<void> done;
  LogUtil::forceUploadLogs([&done] { done.set_value(); });
  done.get_future().wait();
}

long long storedCount(const std::string& path) {
  sqlite3* db = nullptr;
  long long count = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM logs", -1, &statement, nullptr);
    if (statement && sqlite3_step(statement) == SQLITE_ROW) count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return count;
}

std::string integrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string verdict = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
    if (statement && sqlite3_step(statement) == SQLITE_ROW) {
      verdict = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return verdict;
}

// The child: run by the parent through its own binary, never by ctest (disabled).
TEST(LogCrashChild, DISABLED_LogsAndUploadsUntilKilled) {
  if (!variable("LUMO_CRASH_URL")) GTEST_SKIP() << "started by LogCrashTest only";
  ASSERT_TRUE(platform::net::TrustStore::addTrustedCertificateFile(variable("LUMO_CRASH_CERT")));
  NetworkUtil::setAccessTokenSource([] { return std::string(kToken); });
  LogUtil::initialize(variable("LUMO_CRASH_URL"));
  std::string database = std::string(variable("LUMO_SANDBOX_DIR")) + "/Documents/lumo_logs.db";
  if (variable("LUMO_CRASH_DRAIN")) {
    for (int round = 0; round < 200 && storedCount(database) != 0; ++round) forceUploadAndWait();
    LogUtil::flushAndClose();
    return;
  }
  int report = std::atoi(variable("LUMO_CRASH_REPORT_FD"));
  std::string run = variable("LUMO_CRASH_RUN");
  // Inserts, uploads and clean-ups overlap: an upload runs while the next burst is logged.
  std::future<void> upload;
  for (std::uint32_t i = 0; i < kBursts * kBurstSize; ++i) {
    LogUtil::i(run + "-" + std::to_string(i), std::string("crash"));
    ASSERT_EQ(::write(report, &i, sizeof i), static_cast<ssize_t>(sizeof i));
    if (i % kBurstSize != kBurstSize - 1) continue;
    if (upload.valid()) upload.wait();
    upload = std::async(std::launch::async, forceUploadAndWait);
    if (i % (4 * kBurstSize) == 4 * kBurstSize - 1) logging::LogStore::performDB([] { logging::LogStore::cleanupTask(); });
  }
  if (upload.valid()) upload.wait();
  // Every run ends by its kill.
  for (;;) ::pause();
}

class LogCrashTest : public VirtualTimeTest {
 protected:
  // Starts the child; returns its pid and the read end of its report pipe.
  std::pair<pid_t, int> spawn(const std::string& run, bool drain) {
    int pipeEnds[2];
    EXPECT_EQ(::pipe(pipeEnds), 0);
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) env.emplace_back(*entry);
    env.push_back("LUMO_CRASH_URL=" + backend_->baseUrl() + "/app_log/save");
    env.push_back("LUMO_CRASH_CERT=" + backend_->certificatePath().string());
    env.push_back("LUMO_CRASH_RUN=" + run);
    env.push_back("LUMO_CRASH_REPORT_FD=3");
    if (drain) env.push_back("LUMO_CRASH_DRAIN=1");
    std::vector<char*> envp;
    for (auto& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=LogCrashChild.DISABLED_LogsAndUploadsUntilKilled";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char* argv[] = {self.data(), filter.data(), disabled.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    return {pid, pipeEnds[0]};
  }

  std::unique_ptr<sim::BackendSimulator> backend_;
};

TEST_F(LogCrashTest, KilledAtSeededMomentsTheLogLosesOnlyItsIntakeAndSendsNothingTwice) {
  backend_ = sim::BackendSimulator::start();
  ASSERT_TRUE(backend_);
  backend_->world().addUser(kToken, "crash");
  const int kills = variable("LUMO_CRASH_KILLS") ? std::atoi(variable("LUMO_CRASH_KILLS")) : kDefaultKills;
  const std::string database = (sandboxDir() / "Documents" / "lumo_logs.db").string();
  std::mt19937 random(20261209);
  std::uniform_int_distribution<std::uint32_t> moment(0, kBursts * kBurstSize - 1);
  std::vector<std::uint32_t> lastReported(static_cast<std::size_t>(kills), 0);
  std::vector<bool> reportedAny(static_cast<std::size_t>(kills), false);

  for (int run = 0; run < kills; ++run) {
    std::uint32_t killAt = moment(random);
    auto [pid, report] = spawn(std::to_string(run), false);
    std::uint32_t value = 0;
    bool killed = false;
    while (::read(report, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
      lastReported[static_cast<std::size_t>(run)] = value;
      reportedAny[static_cast<std::size_t>(run)] = true;
      if (value == killAt && !killed) {
        ::kill(pid, SIGKILL);
        killed = true;
      }
    }
    ::close(report);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(killed && WIFSIGNALED(status)) << "run " << run << " ended before its kill, status " << status;
    ASSERT_EQ(integrityOf(database), "ok") << "after the kill of run " << run;
  }
  auto [pid, report] = spawn("drain", true);
  ::close(report);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the draining run failed";
  ASSERT_EQ(integrityOf(database), "ok");
  EXPECT_EQ(storedCount(database), 0) << "the draining run delivered everything";

  std::map<std::string, int> delivered;
  for (const auto& body : backend_->world().logUploads()) {
    for (const auto& log : body["logs"]) {
      if (log["tag"] == "crash") ++delivered[log["message"].get<std::string>()];
    }
  }
  int twice = 0;
  for (const auto& [message, times] : delivered) twice += times > 1 ? 1 : 0;
  EXPECT_EQ(twice, 0) << "records that reached the backend more than once";

  std::vector<std::size_t> lost;
  for (int run = 0; run < kills; ++run) {
    const auto index = static_cast<std::size_t>(run);
    if (!reportedAny[index]) {
      lost.push_back(0);
      continue;
    }
    // What a kill may take is what had not reached the store: the newest records only.
    std::int64_t newestDelivered = -1;
    std::size_t missing = 0;
    std::int64_t oldestMissing = -1;
    for (std::uint32_t i = 0; i <= lastReported[index]; ++i) {
      if (delivered.count(std::to_string(run) + "-" + std::to_string(i))) {
        newestDelivered = i;
      } else {
        if (oldestMissing < 0) oldestMissing = i;
        ++missing;
      }
    }
    if (missing > 0) {
      EXPECT_GT(oldestMissing, newestDelivered) << "run " << run << " lost a record older than one it kept";
    }
    EXPECT_LE(missing, logging::LogIntake::kMaxRecords) << "run " << run;
    lost.push_back(missing);
  }
  std::sort(lost.begin(), lost.end());
  std::printf("%d kills: records lost per kill, worst %zu, median %zu; %zu delivered once\n", kills, lost.back(),
              lost[lost.size() / 2], delivered.size());
}

}  // namespace
}  // namespace lumo::test
