// The flight recorder's cost: what recording adds to a command tick on the main thread (one
// control frame written, one state frame received), and the rate at which the writer turns
// events into MCAP records on disk. Recordings go to a temporary sandbox.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/recorder/SessionFile.h"
#include "lumosdk/recorder/SessionRecorder.h"
#include "lumosdk/utils/ControlUtil.h"

namespace {

using lumo::ControlUtil;
using lumo::recorder::SessionEvents;
using lumo::recorder::SessionRecorder;
using lumo::recorder::StateRefusal;

platform::Bytes echoFor(const platform::Bytes& control, std::uint8_t rolling) {
  platform::Bytes state{8, 1, 0x10, 0, 0, control[5], rolling, 0};
  std::uint8_t sum = 0;
  for (int i = 0; i < 7; ++i) sum = static_cast<std::uint8_t>(sum + state[i]);
  state[7] = static_cast<std::uint8_t>(~sum);
  return state;
}

lumo::recorder::SessionStart sessionStart() {
  return {"LUMO0BENCH0000001", 7, "bench vehicle", "LUMO-BENCH", 1767225600000.0, 0};
}

// The codec's part of a tick and the recorder's two reports; with `recording`, a recorder is
// active. Each recorder takes at most 1000 ticks (2000 events, within its buffer), then a
// fresh one is started outside the timing, so that no event is dropped.
void runTicks(benchmark::State& state, bool recording) {
  ControlUtil::resetForTesting();
  std::shared_ptr<SessionRecorder> recorder;
  std::int64_t tick = 0;
  for (auto _ : state) {
    if (recording && tick % 1000 == 0) {
      state.PauseTiming();
      if (recorder) recorder->end("exit", "");
      recorder = SessionRecorder::start(sessionStart());
      SessionEvents::setActive(recorder.get());
      state.ResumeTiming();
    }
    platform::Bytes control = ControlUtil::encodeCmd(false, true, 12, 0, -40, tick);
    SessionEvents::controlFrameWritten(control);
    platform::Bytes echo = echoFor(control, static_cast<std::uint8_t>(tick));
    ControlUtil::decodeState(echo);
    SessionEvents::stateFrameReceived(echo, StateRefusal::none);
    benchmark::DoNotOptimize(ControlUtil::getDelay());
    ++tick;
  }
  if (recorder) recorder->end("exit", "");
}

void BM_TickWithoutRecorder(benchmark::State& state) { runTicks(state, false); }
BENCHMARK(BM_TickWithoutRecorder);

void BM_TickWithRecorder(benchmark::State& state) { runTicks(state, true); }
BENCHMARK(BM_TickWithRecorder);

// The writer's side: events to JSON messages to records, flushed to the file every 64 events
// (a quarter second of a session holds about 4).
void BM_WriterRate(benchmark::State& state) {
  lumo::recorder::SessionFile file(sessionStart());
  if (!file.open()) {
    state.SkipWithError(file.failure().c_str());
    return;
  }
  std::vector<std::string> texts;
  lumo::recorder::SessionEvent control;
  control.kind = lumo::recorder::EventKind::controlFrame;
  control.size = 8;
  lumo::recorder::SessionEvent received;
  received.kind = lumo::recorder::EventKind::stateFrame;
  received.size = 8;
  received.state.hasDelay = true;
  received.state.delayMs = 42;
  std::int64_t n = 0;
  const auto before = file.bytesWritten();
  for (auto _ : state) {
    control.monotonicNs = received.monotonicNs = n * 75'000'000;
    control.bytes[5] = static_cast<std::uint8_t>(n);
    file.write((n & 1) ? received : control, texts);
    if (++n % 64 == 0) file.flush();
  }
  file.close();
  state.SetItemsProcessed(n);
  state.SetBytesProcessed(static_cast<std::int64_t>(file.bytesWritten() - before));
}
BENCHMARK(BM_WriterRate);

}  // namespace

int main(int argc, char** argv) {
  std::string sandbox = (std::filesystem::temp_directory_path() / "lumo-bench-recorder-XXXXXX").string();
  if (!::mkdtemp(sandbox.data())) return 1;
  ::setenv("LUMO_SANDBOX_DIR", sandbox.c_str(), 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(sandbox, ignored);
  return 0;
}
