// Figures for the backend path: RSA-2048 key generation (once per initSdk, on the main thread)
// and one POST round trip over HTTPS to the loopback backend simulator, connection reused.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>

#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/RsaCryptoUtils.h"
#include "platform/net/UrlSession.h"
#include "sim/backend/BackendSimulator.h"

namespace {

void keyPairGeneration(benchmark::State& state) {
  for (auto _ : state) {
    auto pair = lumo::RsaCryptoUtils::generateKeyPair();
    if (!pair) state.SkipWithError("key generation failed");
    benchmark::DoNotOptimize(pair);
  }
}
BENCHMARK(keyPairGeneration)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void spkiExport(benchmark::State& state) {
  auto pair = lumo::RsaCryptoUtils::generateKeyPair();
  for (auto _ : state) benchmark::DoNotOptimize(lumo::RsaCryptoUtils::getX509SPKIPublicKey(pair->publicKey));
}
BENCHMARK(spkiExport)->Unit(benchmark::kMicrosecond);

// postBackground answers on the session's thread, so no main loop is needed here.
void postRoundTrip(benchmark::State& state) {
  auto backend = sim::BackendSimulator::start();
  if (!backend || !backend->trustInPlatform()) {
    state.SkipWithError("backend simulator did not start");
    return;
  }
  backend->seedDemoWorld();
  lumo::NetworkUtil::setAccessTokenSource([] { return std::string(sim::BackendSimulator::kDemoToken); });
  std::string url = backend->baseUrl() + "/app_log/save";
  nlohmann::json body = {{"logs", nlohmann::json::array({{{"priority", 4}, {"tag", "bench"}, {"message", "m"}}})}};
  std::mutex mutex;
  std::condition_variable done;
  for (auto _ : state) {
    bool answered = false;
    bool ok = false;
    lumo::NetworkUtil::postBackground(url, body, [&](const lumo::NetworkUtil::Result& result) {
      std::lock_guard lock(mutex);
      answered = true;
      ok = result.isSuccess();
      done.notify_one();
    });
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return answered; });
    if (!ok) state.SkipWithError("request failed");
  }
}
BENCHMARK(postRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
