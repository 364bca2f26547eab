// The command loop's cadence in real time, measured at the vehicle: a control page drives
// the simulated vehicle (no radio latency) and the vehicle notes when each frame arrives.
// Three runs: idle; the main thread drawing the page at 60 frames a second (display link);
// two other threads burning CPU. Beside each run, for the same time, a bare thread sleeps to
// absolute 150 ms deadlines at the priority the SDK's strict timer thread got: its figures are
// the machine's own, and the SDK's excess over them is ours. Reports the median, p99 and
// maximum deviation of the interval between frames from 150 ms, the frames missed, the drift
// of the last frame from first + n x 150 ms, then the main-thread cost of one command tick and
// of one drawn frame. Usage: bench_control_cadence [seconds per run, default 60]

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/LogUtil.h"
#include "platform/ble/Radio.h"
#include "bench/CadenceFigures.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/ThreadPriority.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/render/Renderer.h"
#include "platform/ui/Application.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::loadAverage;
using bench::percentileOf;
using bench::summarise;
using platform::dispatch::MainLoop;
using platform::dispatch::Seconds;

using bench::Figures;
using bench::kIntervalMs;

struct LoadFigures {
  Figures sdk;
  Figures bare;
  std::vector<double> drawMicros;  // one entry per drawn frame
  std::string loadBefore;
  std::string loadAfter;
};

// A host with one window whose root presents the control page.
struct Host {
  std::shared_ptr<platform::ui::WindowScene> scene = platform::ui::Application::shared().connectScene();
  std::shared_ptr<platform::ui::Window> window = platform::ui::Window::make(scene);
  std::shared_ptr<platform::ui::ViewController> root = platform::ui::ViewController::make();
  Host() {
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }
};

enum class Load { idle, drawing, busyThreads };

LoadFigures measure(Host& host, sim::VehicleSimulator& vehicle, Load load, double seconds) {
  LoadFigures result;
  std::vector<Clock::time_point> arrivals;
  arrivals.reserve(static_cast<std::size_t>(seconds * 10));
  bool measuring = false;
  vehicle.setFrameObserver([&](const sim::ControlFrame&) {
    if (measuring) arrivals.push_back(Clock::now());
  });

  auto page = lumo::LumoControlPage::make(1, "bench", "LUMO-V001", "");
  page->setModalPresentationStyle(platform::ui::ModalPresentationStyle::fullScreen);
  host.root->present(page, false);
  if (!MainLoop::runUntil([&] { return lumo::ControlUtil::isCanControl() && page->hasControlAble(); }, Seconds(10))) {
    std::fprintf(stderr, "the vehicle never granted control\n");
    std::exit(1);
  }
  // A user who keeps steering a little: the frames carry inputs and the inactivity watchdog
  // stays quiet, as in a real session.
  page->onForwardSelect();
  float angle = 0.1f;
  auto user = platform::dispatch::Timer::scheduled(Seconds(2), true, [&](platform::dispatch::Timer&) {
    angle = -angle;
    page->onSteeringWheelAngleChanged(angle);
  });

  std::atomic<bool> stop{false};
  std::vector<std::thread> burners;
  std::shared_ptr<platform::ui::DisplayLink> drawing;
  platform::render::Renderer renderer;
  if (load == Load::busyThreads) {
    for (int i = 0; i < 2; ++i) {
      burners.emplace_back([&stop] {
        volatile double sink = 1;
        while (!stop.load(std::memory_order_relaxed)) sink = sink * 1.0000001 + 1e-9;
      });
    }
  }
  if (load == Load::drawing) {
    drawing = platform::ui::DisplayLink::make([&](platform::ui::DisplayLink&) {
      auto start = Clock::now();
      host.window->layoutIfNeeded();
      renderer.draw(*host.window);
      if (measuring) result.drawMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    });
    drawing->add();
  }
  result.loadBefore = loadAverage();
  std::atomic<bool> bareStop{false};
  std::vector<Clock::time_point> bareWakes;
  std::thread bare([&] { bareWakes = bench::bareLoop(bareStop); });
  measuring = true;
  MainLoop::runFor(Seconds(seconds));
  measuring = false;
  bareStop = true;
  bare.join();
  result.loadAfter = loadAverage();
  user->invalidate();
  if (page->quitFlag()) {
    std::fprintf(stderr, "the session ended during the run; the figures would not be a session's\n");
    std::exit(1);
  }
  stop = true;
  for (auto& thread : burners) thread.join();
  if (drawing) drawing->invalidate();

  page->onForwardRelease();
  page->exitButtonTapped();
  MainLoop::runUntil([&] { return host.root->presentedViewController() == nullptr; }, Seconds(5));
  MainLoop::runFor(Seconds(0.5));
  result.sdk = summarise(arrivals);
  result.bare = summarise(bareWakes);
  return result;
}

// encode + write + its "ble_cmd" record, as one command tick does on the main thread.
double tickCostMicros() {
  constexpr int kTicks = 20000;
  std::vector<double> costs;
  costs.reserve(kTicks);
  for (int i = 1; i <= kTicks; ++i) {
    auto start = Clock::now();
    lumo::BluetoothUtil::sendData(lumo::ControlUtil::encodeCmd(false, true, 10, 0, 20, i));
    costs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    if (i % 500 == 0) MainLoop::runFor(Seconds(0.01));  // let the vehicle's deliveries drain
  }
  std::sort(costs.begin(), costs.end());
  return costs[costs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: %s [seconds per run]\n", argv[0]);
    return 2;
  }
  auto sandbox = std::filesystem::temp_directory_path() / ("lumo-cadence-" + std::to_string(::getpid()));
  std::filesystem::create_directories(sandbox);
  ::setenv("LUMO_SANDBOX_DIR", sandbox.c_str(), 1);
  const char* consolePath = std::getenv("LUMO_BENCH_CONSOLE");
  int console = ::open(consolePath ? consolePath : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  platform::foundation::ConsoleLog::setFileDescriptor(console);
  lumo::LogUtil::initialize("https://127.0.0.1:1/app_log/save");

  auto radio = platform::ble::Radio::useSimulatedRadio();
  radio->setConnectLatency(Seconds(0));
  sim::VehicleSimulator vehicle(radio, std::string("LUMO-V001"));
  Host host;

  std::printf("command loop cadence at the vehicle, %.0f s per run (deviation from %.0f ms)\n", seconds, kIntervalMs);
  std::printf("%-28s %-10s %7s %10s %9s %9s %8s %7s %9s  %s\n", "load", "source", "frames", "median ms", "p99 ms",
              "max ms", "max at s", "missed", "drift ms", "loadavg before / after");
  const std::pair<Load, const char*> runs[] = {
      {Load::idle, "idle"}, {Load::drawing, "main thread drawing 60 fps"}, {Load::busyThreads, "two threads burning CPU"}};
  std::vector<double> excess;
  std::vector<double> drawMicros;
  std::size_t missed = 0;
  for (const auto& [load, name] : runs) {
    LoadFigures f = measure(host, vehicle, load, seconds);
    for (const auto& [source, figures] : {std::pair{"lumosdk", f.sdk}, std::pair{"bare loop", f.bare}}) {
      std::printf("%-28s %-10s %7zu %10.3f %9.3f %9.3f %8.1f %7zu %9.3f  %s / %s\n", name, source, figures.frames,
                  figures.medianMs, figures.p99Ms, figures.maxMs, figures.worstAtSeconds, figures.missed, figures.driftMs,
                  f.loadBefore.c_str(), f.loadAfter.c_str());
    }
    std::fflush(stdout);
    excess.push_back(f.sdk.p99Ms - f.bare.p99Ms);
    missed += f.sdk.missed;
    if (!f.drawMicros.empty()) drawMicros = f.drawMicros;
  }
  auto priority = platform::dispatch::Scheduler::strictTimerPriority();
  std::printf("strict timer thread and bare loop: %s\n", priority ? priority->describe().c_str() : "not started");
  std::printf("main-thread cost of one drawn frame of the control page (layout, draw): median %.1f us, p99 %.1f us\n",
              percentileOf(drawMicros, 0.5), percentileOf(drawMicros, 0.99));

  // One more connection for the tick cost, without the page's own loop, and with write credits
  // that never run out, so that every write takes the full path.
  vehicle.peripheral()->setWriteCredits(1 << 30, Seconds(0));
  lumo::BluetoothUtil::initWithSlaverDeviceName("LUMO-V001", 1);
  MainLoop::runUntil([] { return lumo::BluetoothUtil::isConnected(); }, Seconds(5));
  MainLoop::runFor(Seconds(0.3));
  std::printf("main-thread cost of one command tick (encode, write, log): median %.2f us\n", tickCostMicros());
  lumo::BluetoothUtil::disconnect();
  lumo::LogUtil::flushAndClose();
  std::filesystem::remove_all(sandbox);
  std::printf("cadence p99 excess over bare loop: idle %.3f ms, drawing %.3f ms, burning %.3f ms, missed frames %zu\n",
              excess[0], excess[1], excess[2], missed);
  return 0;
}
