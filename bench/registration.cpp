// Figures for the SDK's own backend traffic against the loopback simulator: the time from
// initSdk to onSuccess next to RSA-2048 key generation alone, and one log batch of 10,000
// rows read from SQLite, turned into JSON and posted.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/RsaCryptoUtils.h"
#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LogUploader.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/SystemLog.h"
#include "sim/backend/BackendSimulator.h"

namespace {

using namespace std::chrono_literals;
using sim::BackendSimulator;

std::unique_ptr<BackendSimulator> startBackend(benchmark::State& state) {
  auto backend = BackendSimulator::start();
  if (!backend || !backend->trustInPlatform()) {
    state.SkipWithError("backend simulator did not start");
    return nullptr;
  }
  backend->seedDemoWorld();
  lumo::LumoSdk::setDevelopmentBackend(backend->baseUrl());
  return backend;
}

void keyGenerationAlone(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(lumo::RsaCryptoUtils::generateKeyPair());
}
BENCHMARK(keyGenerationAlone)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)->ReportAggregatesOnly(true);

// Each round: a fresh registration, key pair included, until the host hears onSuccess.
void initSdkToSuccess(benchmark::State& state) {
  auto backend = startBackend(state);
  if (!backend) return;
  for (auto _ : state) {
    bool succeeded = false;
    lumo::LumoSdk::initSdk(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken,
                           lumo::LumoEnvironment::development, false, [&] { succeeded = true; });
    if (!platform::dispatch::MainLoop::runUntil([&] { return succeeded; }, 30s)) {
      state.SkipWithError("no onSuccess");
      break;
    }
    state.PauseTiming();
    lumo::LumoSdk::deInit();
    lumo::logging::LoggerState::resetForTesting();
    state.ResumeTiming();
  }
}
BENCHMARK(initSdkToSuccess)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();

void insertRows(const std::filesystem::path& database, int count) {
  sqlite3* db = nullptr;
  sqlite3_open(database.c_str(), &db);
  sqlite3_busy_timeout(db, 5000);
  std::string sql =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(count) +
      ") INSERT INTO logs (priority, tag, message, timestamp) "
      "SELECT 4, 'ble_cmd', '{\"vid\":7,\"ble_name\":\"LUMO-V001\",\"cmd\":\"0100' || i || '\"}', 1767225600000 + i FROM n";
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// The batch step of an upload round: read 10,000 rows on the db queue, build the body, post,
// delete the accepted rows.
void uploadBatchOf10000(benchmark::State& state) {
  auto backend = startBackend(state);
  if (!backend) return;
  lumo::NetworkUtil::setAccessTokenSource([] { return std::string(BackendSimulator::kDemoToken); });
  lumo::LogUtil::initialize(backend->baseUrl() + "/app_log/save");
  auto& logger = lumo::logging::LoggerState::shared();
  logger.dbQueue->sync([] {});
  auto database = std::filesystem::path(getenv("LUMO_SANDBOX_DIR")) / "Documents" / "lumo_logs.db";
  for (auto _ : state) {
    state.PauseTiming();
    insertRows(database, 10000);
    state.ResumeTiming();
    platform::dispatch::Semaphore done;
    std::atomic<bool> delivered{false};
    lumo::logging::LogStore::performDB([&] {
      auto batch = lumo::logging::LogStore::readBatch();
      lumo::logging::LogUploader::sendLogsToServer(std::move(batch.rows), [&](bool ok) {
        delivered = ok;
        done.signal();
      });
    });
    done.wait();
    logger.dbQueue->sync([] {});  // the accepted rows' delete
    if (!delivered) {
      state.SkipWithError("batch not accepted");
      break;
    }
  }
  // The next repetition starts its own backend, and the logger must learn its address.
  lumo::LogUtil::flushAndClose();
  lumo::logging::LoggerState::resetForTesting();
}
BENCHMARK(uploadBatchOf10000)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumo-bench-XXXXXX").string();
  std::filesystem::path sandbox = ::mkdtemp(pattern.data());
  ::setenv("LUMO_SANDBOX_DIR", sandbox.c_str(), 1);
  // The SDK's own lines would drown the figures.
  platform::foundation::ConsoleLog::setFileDescriptor(::open("/dev/null", O_WRONLY));
  platform::foundation::SystemLog::setSink([](platform::foundation::SystemLog::Level, std::string_view) {});
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  lumo::LogUtil::flushAndClose();
  std::filesystem::remove_all(sandbox);
  return 0;
}
