// Figures for the Bluetooth control session in virtual time: the wall time to simulate an hour
// of a session (24,000 control frames, 36,000 state frames), the heap it holds at the end
// against the start, and the cost of one state frame on the link's receive path.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/LumoBluetoothManager.h"
#include "platform/ble/Radio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/ConsoleLog.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace {

using std::chrono::milliseconds;

double heapInUse() { return static_cast<double>(mallinfo2().uordblks); }

void quietConsole() {
  static int devNull = ::open("/dev/null", O_WRONLY);
  platform::foundation::ConsoleLog::setFileDescriptor(devNull);
}

// One session per iteration: connect, then an hour of the page's 150 ms command loop.
void BM_OneHourControlSession(benchmark::State& state) {
  quietConsole();
  double heapGrowth = 0;
  double controlFrames = 0;
  double stateFrames = 0;
  double accepted = 0;
  for (auto _ : state) {
    platform::dispatch::Scheduler::useVirtualClock();
    auto radio = platform::ble::Radio::useSimulatedRadio();
    lumo::BluetoothUtil::resetForTesting();
    lumo::ControlUtil::resetForTesting();
    sim::VehicleSimulator vehicle(radio, "LUMO-V01");
    vehicle.lag(120);
    lumo::BluetoothUtil::initialize();
    std::uint64_t received = 0;
    lumo::BluetoothUtil::setOnDataListener([&](const platform::Bytes&) { ++received; });
    lumo::BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
    platform::dispatch::MainLoop::runFor(milliseconds(500));
    if (!lumo::BluetoothUtil::isConnected()) {
      state.SkipWithError("the vehicle was not connected");
      return;
    }
    std::int64_t tick = 1;
    auto loop = platform::dispatch::Timer::scheduled(milliseconds(150), true, [&](platform::dispatch::Timer&) {
      lumo::BluetoothUtil::sendData(lumo::ControlUtil::encodeCmd(!lumo::ControlUtil::isCanControl(), true, 10, 0, 20, tick++));
    });
    // The radio's bounded record of operations fills in the first ten minutes; measure the heap
    // across the last 45 so that only growth that never stops shows.
    platform::dispatch::MainLoop::runFor(std::chrono::seconds(900));
    double heapStart = heapInUse();
    platform::dispatch::MainLoop::runFor(std::chrono::seconds(2700));
    heapGrowth = heapInUse() - heapStart;
    loop->invalidate();
    controlFrames = static_cast<double>(vehicle.acceptedFrames());
    stateFrames = static_cast<double>(vehicle.stateFramesSent());
    accepted = static_cast<double>(received);
    lumo::BluetoothUtil::disconnect();
    platform::dispatch::MainLoop::runFor(milliseconds(100));
    lumo::LumoBluetoothManager::getInstance()->close();
  }
  state.counters["control_frames"] = controlFrames;
  state.counters["state_frames"] = stateFrames;
  state.counters["frames_to_listener"] = accepted;
  state.counters["heap_growth_bytes"] = heapGrowth;
}
BENCHMARK(BM_OneHourControlSession)->Unit(benchmark::kMillisecond)->Iterations(3);

// The link's receive path for one new state frame: duplicate and length checks, the codec's
// check and decode, and the listener call.
void BM_LinkReceivePath(benchmark::State& state) {
  quietConsole();
  platform::dispatch::Scheduler::useVirtualClock();
  auto radio = platform::ble::Radio::useSimulatedRadio();
  lumo::BluetoothUtil::resetForTesting();
  lumo::ControlUtil::resetForTesting();
  // The link takes frames only from its session's vehicle, so a session must be up.
  sim::VehicleSimulator vehicle(radio, "LUMO-V01");
  lumo::BluetoothUtil::initialize();
  lumo::BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  platform::dispatch::MainLoop::runFor(milliseconds(500));
  auto device = lumo::BluetoothUtil::getBluetoothDevice();
  if (!device) {
    state.SkipWithError("the vehicle was not connected");
    return;
  }
  std::uint64_t received = 0;
  lumo::BluetoothUtil::setOnDataListener([&](const platform::Bytes&) { ++received; });
  auto receiver = lumo::LumoBluetoothManager::getInstance()->dataReceivedDelegate();
  platform::Bytes frames[2] = {{0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0xB8},
                               {0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2B, 0xB7}};
  auto uuid = *platform::ble::Uuid::fromString("FFE1");
  std::size_t i = 0;
  for (auto _ : state) {
    receiver->onDataReceived(device, uuid, frames[i++ & 1]);
  }
  state.counters["frames_to_listener"] = static_cast<double>(received);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  lumo::BluetoothUtil::disconnect();
  platform::dispatch::MainLoop::runFor(milliseconds(100));
  lumo::LumoBluetoothManager::getInstance()->close();
}
BENCHMARK(BM_LinkReceivePath);

}  // namespace

BENCHMARK_MAIN();
