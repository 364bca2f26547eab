// The command loop's cadence in real time, measured at the vehicle: a control page drives
// the simulated vehicle (no radio latency) and the vehicle notes when each frame arrives.
// Three runs: idle; the main thread drawing the page at 60 frames a second; two other threads
// burning CPU. Reports the median, p99 and maximum deviation of the interval between frames
// from 150 ms and the frames missed; then the main-thread cost of one command tick (encode,
// write, log). Usage: bench_control_cadence [seconds per run, default 60]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/LogUtil.h"
#include "platform/ble/Radio.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/render/Renderer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::dispatch::MainLoop;
using platform::dispatch::Seconds;

constexpr double kIntervalMs = lumo::LumoControlPage::COMMAND_INTERVAL_MS;

struct Figures {
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  std::size_t frames = 0;
  std::size_t missed = 0;
};

Figures summarise(const std::vector<Clock::time_point>& arrivals) {
  Figures figures;
  std::vector<double> deviations;
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    double interval = std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count();
    deviations.push_back(std::abs(interval - kIntervalMs));
    // An interval of two periods or more means a frame never came.
    if (interval >= 1.5 * kIntervalMs) figures.missed += static_cast<std::size_t>(interval / kIntervalMs + 0.5) - 1;
  }
  figures.frames = arrivals.size();
  if (deviations.empty()) return figures;
  std::sort(deviations.begin(), deviations.end());
  figures.medianMs = deviations[deviations.size() / 2];
  figures.p99Ms = deviations[std::min(deviations.size() - 1, deviations.size() * 99 / 100)];
  figures.maxMs = deviations.back();
  return figures;
}

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

Figures measure(Host& host, sim::VehicleSimulator& vehicle, Load load, double seconds) {
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
  std::shared_ptr<platform::dispatch::Timer> drawing;
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
    drawing = platform::dispatch::Timer::scheduled(Seconds(1.0 / 60), true, [&](platform::dispatch::Timer&) {
      host.window->layoutIfNeeded();
      renderer.draw(*host.window);
    });
  }
  measuring = true;
  MainLoop::runFor(Seconds(seconds));
  measuring = false;
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
  return summarise(arrivals);
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
  std::printf("%-28s %8s %10s %10s %10s %8s\n", "load", "frames", "median ms", "p99 ms", "max ms", "missed");
  const std::pair<Load, const char*> runs[] = {
      {Load::idle, "idle"}, {Load::drawing, "main thread drawing 60 fps"}, {Load::busyThreads, "two threads burning CPU"}};
  for (const auto& [load, name] : runs) {
    Figures f = measure(host, vehicle, load, seconds);
    std::printf("%-28s %8zu %10.3f %10.3f %10.3f %8zu\n", name, f.frames, f.medianMs, f.p99Ms, f.maxMs, f.missed);
    std::fflush(stdout);
  }

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
  return 0;
}
