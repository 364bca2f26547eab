// Cost of one command tick of the control protocol: build the control frame, let the vehicle
// echo its tick in a state frame, check and decode that frame (delay lookup included).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "lumosdk/utils/ControlUtil.h"
#include "platform/foundation/ConsoleLog.h"

namespace {

using lumo::ControlUtil;

platform::Bytes echoFor(const platform::Bytes& control, std::uint8_t rolling) {
  platform::Bytes state{1, 1, 0x10, 0, 0, control[5], rolling, 0};
  std::uint8_t sum = 0;
  for (int i = 0; i < 7; ++i) sum = static_cast<std::uint8_t>(sum + state[i]);
  state[7] = static_cast<std::uint8_t>(~sum);
  return state;
}

void runFrames(benchmark::State& state) {
  std::int64_t tick = 0;
  for (auto _ : state) {
    platform::Bytes control = ControlUtil::encodeCmd(false, true, 12, 0, -40, tick);
    platform::Bytes echo = echoFor(control, static_cast<std::uint8_t>(tick));
    ControlUtil::decodeState(echo);
    benchmark::DoNotOptimize(ControlUtil::getDelay());
    ++tick;
  }
  state.counters["cached"] = static_cast<double>(ControlUtil::cachedSendTimeCountForTesting());
}

void BM_EncodeDecodeFrame(benchmark::State& state) {
  ControlUtil::resetForTesting();
  runFrames(state);
}
BENCHMARK(BM_EncodeDecodeFrame);

// The same with the console lines formatted and written (to /dev/null).
void BM_EncodeDecodeFrameLogging(benchmark::State& state) {
  int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  platform::foundation::ConsoleLog::setFileDescriptor(devNull);
  ControlUtil::resetForTesting();
  ControlUtil::setLoggingEnabled(true);
  runFrames(state);
  ControlUtil::resetForTesting();
  platform::foundation::ConsoleLog::setFileDescriptor(STDERR_FILENO);
  ::close(devNull);
}
BENCHMARK(BM_EncodeDecodeFrameLogging);

}  // namespace

BENCHMARK_MAIN();
