// Render and animation costs of the UI toolkit: one full-screen landscape frame with 200
// views, and one animation tick with 200 views animating.
#include <benchmark/benchmark.h>

#include "platform/dispatch/Scheduler.h"
#include "platform/render/Renderer.h"
#include "platform/ui/Animator.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace {

using namespace platform::ui;

// 844 × 390 points: a gradient backdrop and 200 views (rounded cards, CJK labels, symbols).
std::shared_ptr<Window> makeScreen(std::vector<std::shared_ptr<View>>* views = nullptr) {
  auto window = Window::make(Rect{0, 0, 844, 390});
  auto gradient = GradientLayer::make();
  gradient->setFrame({0, 0, 844, 390});
  gradient->colors = {Color::rgb255(200, 212, 232), Color::rgb255(190, 205, 231)};
  gradient->startPoint = {0, 0.5};
  gradient->endPoint = {1, 0.5};
  window->layer()->addSublayer(gradient);
  auto symbol = Image::systemNamed("car.fill");
  for (int i = 0; i < 200; ++i) {
    Rect frame{static_cast<double>(i % 20) * 42 + 2, static_cast<double>(i / 20) * 39 + 2, 38, 35};
    std::shared_ptr<View> view;
    if (i % 5 == 0) {
      auto label = Label::make(frame);
      label->setText("遥控");
      label->setFont(Font::boldSystemFont(12));
      view = label;
    } else if (i % 5 == 1) {
      auto image = ImageView::make(symbol);
      image->setFrame(frame);
      image->setContentMode(ContentMode::scaleAspectFit);
      view = image;
    } else {
      view = View::make(frame);
      view->setBackgroundColor(Color::rgb255(0, 82, 217));
      view->layer()->setCornerRadius(8);
      view->layer()->setBorderWidth(1);
      view->layer()->setBorderColor(Color::white());
    }
    window->addSubview(view);
    if (views) views->push_back(view);
  }
  window->setHidden(false);
  window->layoutIfNeeded();
  return window;
}

void BM_RenderFullScreenFrame200Views(benchmark::State& state) {
  platform::dispatch::Scheduler::useVirtualClock();
  auto window = makeScreen();
  platform::render::Renderer renderer;
  renderer.draw(*window);  // the surface is made once
  for (auto _ : state) renderer.draw(*window);
}
BENCHMARK(BM_RenderFullScreenFrame200Views)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_AnimationTick200Views(benchmark::State& state) {
  platform::dispatch::Scheduler::useVirtualClock();
  std::vector<std::shared_ptr<View>> views;
  auto window = makeScreen(&views);
  View::animate(std::chrono::seconds(3600), [&] {
    for (const auto& v : views) {
      v->setAlpha(0.5);
      v->setTransform(AffineTransform::rotation(1.0));
    }
  });
  for (auto _ : state) benchmark::DoNotOptimize(Animator::shared().tick());
  Animator::shared().resetForTesting();
}
BENCHMARK(BM_AnimationTick200Views)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

// A frame drawn mid-animation: presentation values for every view, then the drawing.
void BM_RenderAnimatingFrame200Views(benchmark::State& state) {
  platform::dispatch::Scheduler::useVirtualClock();
  std::vector<std::shared_ptr<View>> views;
  auto window = makeScreen(&views);
  View::animate(std::chrono::seconds(3600), [&] {
    for (const auto& v : views) v->setTransform(AffineTransform::rotation(1.0));
  });
  platform::render::Renderer renderer;
  for (auto _ : state) renderer.draw(*window);
  Animator::shared().resetForTesting();
}
BENCHMARK(BM_RenderAnimatingFrame200Views)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
