// Per-event costs of the control page's input widgets: one steering-wheel touch move
// through the window (hit test, atan2, transform, listener) and one frame of the toggle
// switch's thumb animation (paths and interpolated colours); and a whole landscape frame of
// the control page drawn while its acceleration switch animates.
#include <benchmark/benchmark.h>

#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/render/Renderer.h"
#include "platform/ui/Window.h"

namespace {

using namespace platform::ui;

void BM_SteeringWheelTouchMove(benchmark::State& state) {
  platform::dispatch::Scheduler::useVirtualClock();
  auto window = Window::make(Rect{0, 0, 844, 390});
  auto wheel = lumo::SteeringWheel::make(Rect{664, 210, 170, 170});
  double sink = 0;
  wheel->setOnSteeringAngleChangeListener([&](double angle) { sink += angle; });
  window->addSubview(wheel);
  window->setHidden(false);
  window->layoutIfNeeded();
  // The finger sweeps the upper half, so every move changes the angle and is reported.
  const Point points[2] = {{709, 250}, {789, 250}};
  window->touchDown(1, {749, 230});
  int i = 0;
  for (auto _ : state) {
    Point p = points[i++ & 1];
    benchmark::DoNotOptimize(window->hitTest(p));
    window->touchMove(1, p);
  }
  window->touchUp(1, points[0]);
  benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_SteeringWheelTouchMove)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_SwitchAnimationFrame(benchmark::State& state) {
  platform::dispatch::Scheduler::useVirtualClock();
  auto control = lumo::CustomSwitch::make(Rect{0, 0, 58, 35});
  control->setIconOn("key_switch_icon.png");
  control->toggle();
  // 0.1 s into the 0.15 s animation; the virtual clock stands still, so every call draws
  // the same mid-animation frame.
  platform::dispatch::MainLoop::runFor(std::chrono::milliseconds(100));
  for (auto _ : state) {
    control->updateAnimationProgress();
    benchmark::DoNotOptimize(control->animationFraction());
  }
  control->resetAnimationState();
}
BENCHMARK(BM_SwitchAnimationFrame)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The page's own views at 844 x 390 (status row, switches, pads, wheel, texts), with the
// acceleration switch's thumb moved one animation step before each drawing.
void BM_ControlPageFrameWhileSwitchAnimates(benchmark::State& state) {
  platform::dispatch::Scheduler::useVirtualClock();
  auto window = Window::make(Rect{0, 0, 844, 390});
  auto page = lumo::LumoControlPage::make(1, "配送车 001", "LUMO-BENCH", "bench");
  window->setRootViewController(page);
  window->setHidden(false);
  window->layoutIfNeeded();
  platform::dispatch::MainLoop::runFor(std::chrono::milliseconds(100));
  auto accel = page->accelSwitch();
  accel->toggle();
  platform::dispatch::MainLoop::runFor(std::chrono::milliseconds(100));
  platform::render::Renderer renderer;
  renderer.draw(*window);  // the surface is made once
  for (auto _ : state) {
    accel->updateAnimationProgress();
    renderer.draw(*window);
  }
  if (!accel->isAnimating()) state.SkipWithError("the switch was not animating");
  accel->resetAnimationState();
}
BENCHMARK(BM_ControlPageFrameWhileSwitchAnimates)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
