// Figures for the link over each radio in real time: the round trip of a control frame to the
// first state frame that echoes its tick (ControlUtil's delay), and the main thread's CPU time
// per state frame. The simulated radio runs in-process; the BlueZ radio talks over a private
// bus to python3-dbusmock's BlueZ template with the vehicle as a GATT device (the test world),
// so its figures include two D-Bus hops each way and the mock's python, not a real adapter.
//
// The vehicle sends a state frame every 100 ms and the page a command every 150 ms, so every
// round trip also holds up to one state period of waiting for the next frame: compare the two
// radios with each other, not with zero.
//
// BM_CadenceAtMockVehicle drives the same link with the control page's own kind of timer (a
// strict timer source on the main queue) and takes, from the mock vehicle, when each write
// reached it: the cadence there beside a bare absolute-deadline loop, idle (arg 0) and with
// two threads burning CPU (arg 1), for LUMO_CADENCE_SECONDS (default 10) each; and how long a
// write keeps the main thread (it leaves for the bus thread without waiting on the bus). The
// same figures for the moments the ticks wrote tell the SDK's share from that of the bus and
// the mock behind it.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "bench/CadenceFigures.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/LumoBluetoothManager.h"
#include "platform/ble/Radio.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Timer.h"
#include "platform/dispatch/TimerSource.h"
#include "platform/foundation/ConsoleLog.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/support/bluez/BluezWorld.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr const char* kVehicle = "LUMO-0001";

double mainThreadCpuMicros() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

double percentile(std::vector<int> values, double share) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  return values[index];
}

// One 10-second session per iteration. Arg 0: simulated radio, arg 1: the mocked BlueZ.
void BM_ControlToStateRoundTrip(benchmark::State& state) {
  static int devNull = ::open("/dev/null", O_WRONLY);
  platform::foundation::ConsoleLog::setFileDescriptor(devNull);
  bool bluez = state.range(0) == 1;
  std::vector<int> firstEchoes;
  double cpuPerFrame = 0;
  double frames = 0;
  for (auto _ : state) {
    lumo::BluetoothUtil::resetForTesting();
    lumo::ControlUtil::resetForTesting();
    std::unique_ptr<lumo::test::BluezWorld> world;
    std::unique_ptr<sim::VehicleSimulator> vehicle;
    if (bluez) {
      world = std::make_unique<lumo::test::BluezWorld>();
      if (!world->ready()) {
        state.SkipWithError(world->error().c_str());
        return;
      }
      platform::ble::Radio::useRadio(platform::ble::RadioKind::bluez);
    } else {
      platform::ble::Radio::useRadio(platform::ble::RadioKind::simulated);
      vehicle = std::make_unique<sim::VehicleSimulator>(platform::ble::Radio::useSimulatedRadio(), kVehicle);
    }
    std::vector<int> delays;
    lumo::BluetoothUtil::setOnDataListener([&](const platform::Bytes&) { delays.push_back(lumo::ControlUtil::getDelay()); });
    lumo::BluetoothUtil::initialize();
    platform::dispatch::MainLoop::runUntil(
        [] { return lumo::LumoBluetoothManager::getInstance()->isBluetoothEnabled(); }, seconds(3));
    lumo::BluetoothUtil::initWithSlaverDeviceName(kVehicle, 1);
    if (!platform::dispatch::MainLoop::runUntil([&] { return !delays.empty(); }, seconds(5))) {
      state.SkipWithError("the vehicle was not connected");
      return;
    }
    std::int64_t tick = 1;
    auto loop = platform::dispatch::Timer::scheduled(milliseconds(150), true, [&](platform::dispatch::Timer&) {
      lumo::BluetoothUtil::sendData(
          lumo::ControlUtil::encodeCmd(!lumo::ControlUtil::isCanControl(), true, 10, 0, 20, tick++));
    });
    platform::dispatch::MainLoop::runFor(seconds(1));
    delays.clear();
    double cpuStart = mainThreadCpuMicros();
    platform::dispatch::MainLoop::runFor(seconds(10));
    double cpu = mainThreadCpuMicros() - cpuStart;
    loop->invalidate();
    // A repeated echo of the same tick is about one state period later than the frame before;
    // a frame with a shorter delay than its predecessor echoes a new tick.
    for (std::size_t i = 1; i < delays.size(); ++i) {
      if (delays[i] >= 0 && delays[i] < delays[i - 1]) firstEchoes.push_back(delays[i]);
    }
    frames = static_cast<double>(delays.size());
    cpuPerFrame = frames > 0 ? cpu / frames : 0;
    lumo::BluetoothUtil::disconnect();
    platform::dispatch::MainLoop::runFor(milliseconds(300));
    lumo::LumoBluetoothManager::getInstance()->close();
    platform::dispatch::MainLoop::runFor(milliseconds(50));
  }
  state.counters["state_frames"] = frames;
  state.counters["round_trip_ms_p50"] = percentile(firstEchoes, 0.5);
  state.counters["round_trip_ms_p95"] = percentile(firstEchoes, 0.95);
  state.counters["round_trip_ms_max"] = percentile(firstEchoes, 1.0);
  state.counters["main_cpu_us_per_frame"] = cpuPerFrame;
}
BENCHMARK(BM_ControlToStateRoundTrip)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CadenceAtMockVehicle(benchmark::State& state) {
  static int devNull = ::open("/dev/null", O_WRONLY);
  platform::foundation::ConsoleLog::setFileDescriptor(devNull);
  const char* configured = std::getenv("LUMO_CADENCE_SECONDS");
  double runSeconds = configured ? std::atof(configured) : 10.0;
  if (runSeconds <= 0) runSeconds = 10.0;
  bool burning = state.range(0) == 1;
  bench::Figures sdk;
  bench::Figures bare;
  bench::Figures ticks;
  std::vector<double> writeMicros;
  std::vector<bench::Clock::time_point> tickTimes;
  std::string loadBefore;
  std::string loadAfter;
  for (auto _ : state) {
    lumo::BluetoothUtil::resetForTesting();
    lumo::ControlUtil::resetForTesting();
    lumo::test::BluezWorld world;
    if (!world.ready()) {
      state.SkipWithError(world.error().c_str());
      return;
    }
    platform::ble::Radio::useRadio(platform::ble::RadioKind::bluez);
    bool answered = false;
    lumo::BluetoothUtil::setOnDataListener([&](const platform::Bytes&) { answered = true; });
    lumo::BluetoothUtil::initialize();
    platform::dispatch::MainLoop::runUntil(
        [] { return lumo::LumoBluetoothManager::getInstance()->isBluetoothEnabled(); }, seconds(3));
    lumo::BluetoothUtil::initWithSlaverDeviceName(kVehicle, 1);
    if (!platform::dispatch::MainLoop::runUntil([&] { return answered; }, seconds(5))) {
      state.SkipWithError("the vehicle was not connected");
      return;
    }
    std::int64_t tick = 1;
    auto loop = platform::dispatch::TimerSource::make(platform::dispatch::DispatchQueue::main(),
                                                      platform::dispatch::TimerSource::Flags::strict);
    loop->schedule(milliseconds(150), milliseconds(150));
    loop->setEventHandler([&] {
      auto frame = lumo::ControlUtil::encodeCmd(!lumo::ControlUtil::isCanControl(), true, 10, 0, 20, tick++);
      auto start = bench::Clock::now();
      tickTimes.push_back(start);
      lumo::BluetoothUtil::sendData(frame);
      writeMicros.push_back(std::chrono::duration<double, std::micro>(bench::Clock::now() - start).count());
    });
    loop->resume();
    platform::dispatch::MainLoop::runFor(seconds(1));
    world.takeWriteArrivals();
    writeMicros.clear();
    tickTimes.clear();

    std::atomic<bool> stop{false};
    std::vector<std::thread> burners;
    if (burning) {
      for (int i = 0; i < 2; ++i) {
        burners.emplace_back([&stop] {
          volatile double sink = 1;
          while (!stop.load(std::memory_order_relaxed)) sink = sink * 1.0000001 + 1e-9;
        });
      }
    }
    loadBefore = bench::loadAverage();
    std::vector<bench::Clock::time_point> bareWakes;
    std::thread reference([&] { bareWakes = bench::bareLoop(stop); });
    platform::dispatch::MainLoop::runFor(std::chrono::duration<double>(runSeconds));
    stop = true;
    reference.join();
    for (auto& burner : burners) burner.join();
    loadAfter = bench::loadAverage();
    loop->cancel();
    auto arrivals = world.takeWriteArrivals().value_or(std::vector<std::int64_t>{});
    std::vector<bench::Clock::time_point> at;
    for (auto nanos : arrivals) at.emplace_back(std::chrono::nanoseconds(nanos));
    sdk = bench::summarise(at);
    ticks = bench::summarise(tickTimes);
    bare = bench::summarise(bareWakes);
    lumo::BluetoothUtil::disconnect();
    platform::dispatch::MainLoop::runFor(milliseconds(300));
    lumo::LumoBluetoothManager::getInstance()->close();
    platform::dispatch::MainLoop::runFor(milliseconds(50));
  }
  state.counters["frames"] = static_cast<double>(sdk.frames);
  state.counters["p99_ms"] = sdk.p99Ms;
  state.counters["max_ms"] = sdk.maxMs;
  state.counters["bare_p99_ms"] = bare.p99Ms;
  state.counters["excess_p99_ms"] = sdk.p99Ms - bare.p99Ms;
  state.counters["missed"] = static_cast<double>(sdk.missed);
  state.counters["drift_ms"] = sdk.driftMs;
  state.counters["tick_p99_ms"] = ticks.p99Ms;
  state.counters["tick_max_ms"] = ticks.maxMs;
  state.counters["write_main_us_p50"] = bench::percentileOf(writeMicros, 0.5);
  state.counters["write_main_us_p99"] = bench::percentileOf(writeMicros, 0.99);
  state.SetLabel("loadavg " + loadBefore + " / " + loadAfter);
}
BENCHMARK(BM_CadenceAtMockVehicle)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
