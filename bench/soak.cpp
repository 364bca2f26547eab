// One simulated day of a host running the SDK, in virtual time: every hour a ten-minute
// control session logs one "ble_cmd" record per 150 ms frame and a state record per state
// frame, the uploader posts every minute, the clean-up runs hourly, and the backend fails one
// posting round in ten. Reports wall time, records logged, uploaded and left, and the
// process's resident memory through the day.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/SystemLog.h"
#include "sim/backend/BackendSimulator.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kToken = "soak-token";
constexpr int kFramesPerSessionMinute = 400;  // 60 s / 150 ms
constexpr int kSessionMinutes = 10;

double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

}  // namespace

int main() {
  platform::dispatch::Scheduler::useVirtualClock();
  std::string pattern = (std::filesystem::temp_directory_path() / "lumo-soak-XXXXXX").string();
  std::filesystem::path sandbox = ::mkdtemp(pattern.data());
  ::setenv("LUMO_SANDBOX_DIR", sandbox.c_str(), 1);
  platform::foundation::ConsoleLog::setSink([](std::string_view) {});
  platform::foundation::SystemLog::setSink([](platform::foundation::SystemLog::Level, std::string_view) {});

  auto backend = sim::BackendSimulator::start();
  if (!backend || !backend->trustInPlatform()) {
    std::fprintf(stderr, "backend simulator did not start\n");
    return 1;
  }
  backend->world().addUser(kToken, "soak");
  lumo::NetworkUtil::setAccessTokenSource([] { return std::string(kToken); });
  lumo::LogUtil::initialize(backend->baseUrl() + "/app_log/save");
  platform::dispatch::MainLoop::runFor(0s);

  auto wallStart = std::chrono::steady_clock::now();
  double rssStart = residentMegabytes();
  double rssFirstHour = 0;
  double rssMiddle = 0;
  long logged = 0;
  long uploaded = 0;
  long failedRounds = 0;
  long rounds = 0;
  const std::string frame = "control frame sent: 01 00 1e 00 00 01 00 20";
  for (int minute = 0; minute < 24 * 60; ++minute) {
    // One posting round in ten fails: the next post after every tenth.
    if (rounds / 10 > failedRounds && backend->unusedReplies() == 0) {
      backend->queueReply("/app_log/save", sim::BackendReply::envelopeWith({{"code", 7}}, 500));
      ++failedRounds;
    }
    if (minute % 60 < kSessionMinutes) {
      for (int i = 0; i < kFramesPerSessionMinute; ++i) {
        lumo::LogUtil::d(frame, std::string("ble_cmd"));
        lumo::LogUtil::i("state: mode=1 authority=1 safety=0 delay=42", std::string("ble_state"));
        logged += 2;
      }
    }
    platform::dispatch::MainLoop::runFor(60s);
    for (const auto& body : backend->world().takeLogUploads()) uploaded += static_cast<long>(body["logs"].size());
    rounds += static_cast<long>(backend->requestsTo("/app_log/save").size());
    backend->clearRequests();
    if (minute == 60) rssFirstHour = residentMegabytes();
    if (minute == 12 * 60) rssMiddle = residentMegabytes();
  }
  double rssEnd = residentMegabytes();
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  long left = 0;
  auto& state = lumo::logging::LoggerState::shared();
  state.dbQueue->sync([&] {
    sqlite3_stmt* statement = nullptr;
    if (state.db && sqlite3_prepare_v2(state.db, "SELECT COUNT(*) FROM logs", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      left = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
  });
  long inMemory = 0;
  state.memoryLogsQueue->sync([&] { inMemory = static_cast<long>(state.memoryLogs.size()); });

  std::printf("one simulated day in %.1f s of wall time\n", wall);
  std::printf("  records logged     : %ld\n", logged);
  std::printf("  records uploaded   : %ld in %ld posting rounds, %ld of them failed on purpose\n", uploaded, rounds,
              failedRounds);
  std::printf("  still stored       : %ld in the database, %ld in memory\n", left, inMemory);
  std::printf("  dropped            : %ld (logged - uploaded - stored)\n", logged - uploaded - left - inMemory);
  std::printf("  resident memory MB : start %.1f, after the first hour %.1f, middle %.1f, end %.1f\n", rssStart,
              rssFirstHour, rssMiddle, rssEnd);

  lumo::LogUtil::flushAndClose();
  backend.reset();
  std::filesystem::remove_all(sandbox);
  return 0;
}
