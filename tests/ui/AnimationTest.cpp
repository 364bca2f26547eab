#include <gtest/gtest.h>

#include <numbers>

#include "platform/ui/Animator.h"
#include "platform/ui/DisplayLink.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;

using AnimationTest = UiTest;

TEST_F(AnimationTest, ValuesFollowTheClockWhileTheModelHoldsTheTarget) {
  auto view = View::make({0, 0, 100, 100});
  window->addSubview(view);
  View::animate(milliseconds(500), milliseconds(0), AnimationOption::curveLinear, [&] {
    view->setAlpha(0);
    view->setFrame({100, 0, 200, 100});
    view->setBackgroundColor(Color::white());
  });
  // The model value is the target at once; the presentation starts from the old value.
  EXPECT_EQ(view->alpha(), 0);
  EXPECT_EQ(view->presentationAlpha(), 1);
  runFor(milliseconds(125));
  EXPECT_NEAR(view->presentationAlpha(), 0.75, 1e-9);
  EXPECT_NEAR(view->presentationFrame().minX(), 25, 1e-9);
  EXPECT_NEAR(view->presentationFrame().width(), 125, 1e-9);
  EXPECT_NEAR(view->presentationBackgroundColor().alpha, 0.25, 1e-9);
  runFor(milliseconds(375));
  EXPECT_EQ(view->presentationAlpha(), 0);
  EXPECT_EQ(view->presentationFrame(), (Rect{100, 0, 200, 100}));
  EXPECT_EQ(Animator::shared().runningAnimationCount(), 0u);
}

TEST_F(AnimationTest, CurvesDelayAndRotationInterpolateAsOnThePhone) {
  auto eased = View::make({0, 0, 10, 10});
  auto delayed = View::make({0, 0, 10, 10});
  auto wheel = View::make({0, 0, 10, 10});
  View::animate(milliseconds(400), [&] { eased->setAlpha(0); });
  View::animate(milliseconds(200), milliseconds(100), AnimationOption::curveLinear, [&] { delayed->setAlpha(0); });
  View::animate(milliseconds(400), milliseconds(0), AnimationOption::curveLinear,
                [&] { wheel->setTransform(AffineTransform::rotation(std::numbers::pi / 2)); });
  runFor(milliseconds(100));
  // Ease-in-out lags a straight line early on.
  EXPECT_GT(eased->presentationAlpha(), 0.75);
  // Until its delay ends, a delayed animation shows its start value.
  EXPECT_EQ(delayed->presentationAlpha(), 1);
  // A rotation turns through the angle rather than blending matrices.
  auto t = wheel->presentationTransform();
  EXPECT_NEAR(t.angle(), std::numbers::pi / 8, 1e-9);
  EXPECT_NEAR(std::hypot(t.a, t.b), 1.0, 1e-9);
  runFor(milliseconds(100));
  EXPECT_NEAR(eased->presentationAlpha(), 0.5, 1e-6);
  EXPECT_NEAR(delayed->presentationAlpha(), 0.5, 1e-9);
}

TEST_F(AnimationTest, CompletionsRunInEndTimeOrderAndRemovalReportsUnfinished) {
  std::vector<std::string> order;
  auto a = View::make(), b = View::make(), c = View::make(), d = View::make();
  View::animate(milliseconds(300), [&] { a->setAlpha(0.5); }, [&](bool f) { order.push_back(f ? "a" : "a!"); });
  View::animate(milliseconds(100), [&] { b->setAlpha(0.5); }, [&](bool f) { order.push_back(f ? "b" : "b!"); });
  View::animate(milliseconds(100), [&] { c->setAlpha(0.5); }, [&](bool f) { order.push_back(f ? "c" : "c!"); });
  View::animate(milliseconds(200), [&] { d->setAlpha(0.5); }, [&](bool f) { order.push_back(f ? "d" : "d!"); });
  // Nothing animatable changed: the completion still runs, on the next turn, finished.
  View::animate(milliseconds(500), [] {}, [&](bool f) { order.push_back(f ? "empty" : "empty!"); });
  runFor(milliseconds(50));
  d->layer()->removeAllAnimations();
  EXPECT_TRUE(std::find(order.begin(), order.end(), "d!") == order.end());  // reported after this turn
  runFor(milliseconds(300));
  EXPECT_EQ(order, (std::vector<std::string>{"empty", "d!", "b", "c", "a"}));
  EXPECT_EQ(d->presentationAlpha(), 0.5);  // the model value stays
}

TEST_F(AnimationTest, ViewsRemovedOrDestroyedDuringTheirAnimationAreSafe) {
  auto view = View::make({0, 0, 10, 10});
  window->addSubview(view);
  int completions = 0;
  View::animate(milliseconds(200), [&] { view->setAlpha(0); }, [&](bool finished) {
    ++completions;
    EXPECT_TRUE(finished);
    view->removeFromSuperview();
  });
  runFor(milliseconds(100));
  view->removeFromSuperview();
  runFor(milliseconds(200));
  EXPECT_EQ(completions, 1);

  auto temporary = View::make();
  bool ran = false;
  View::animate(milliseconds(200), [&] { temporary->setAlpha(0); }, [&](bool) { ran = true; });
  temporary.reset();  // destroyed mid-animation
  runFor(milliseconds(300));
  EXPECT_TRUE(ran);
  EXPECT_EQ(Animator::shared().runningAnimationCount(), 0u);
}

TEST_F(AnimationTest, AnimatingViewsTakeTouchesOnlyWhenAllowed) {
  auto view = View::make({0, 0, 100, 100});
  window->addSubview(view);
  window->makeKeyAndVisible();
  View::animate(milliseconds(200), [&] { view->setAlpha(0.5); });
  EXPECT_EQ(window->hitTest({10, 10}), window);
  runFor(milliseconds(200));
  EXPECT_EQ(window->hitTest({10, 10}), view);
  View::animate(milliseconds(200), milliseconds(0), AnimationOption::allowUserInteraction,
                [&] { view->setAlpha(1); });
  EXPECT_EQ(window->hitTest({10, 10}), view);
}

TEST_F(AnimationTest, DisplayLinkDeliversSixtyFramesPerVirtualSecond) {
  std::vector<double> stamps;
  auto link = DisplayLink::make([&](DisplayLink& l) { stamps.push_back(l.timestamp()); });
  double start = mediaTime();
  link->add();
  runFor(std::chrono::seconds(1));
  ASSERT_EQ(stamps.size(), 60u);
  EXPECT_NEAR(stamps.front() - start, 1.0 / 60, 1e-9);
  EXPECT_NEAR(stamps.back() - start, 1.0, 1e-9);
  runFor(std::chrono::seconds(2));
  EXPECT_EQ(stamps.size(), 180u);

  link->setPaused(true);
  runFor(std::chrono::seconds(1));
  EXPECT_EQ(stamps.size(), 180u);

  // A handler that invalidates its own link and drops the last reference is safe.
  link->setPaused(false);
  int frames = 0;
  auto self = DisplayLink::make(nullptr);
  std::weak_ptr<DisplayLink> weak = self;
  self = DisplayLink::make([&](DisplayLink& l) {
    ++frames;
    l.invalidate();
    self.reset();
  });
  weak = self;
  self->add();
  runFor(milliseconds(100));
  EXPECT_EQ(frames, 1);
  EXPECT_TRUE(weak.expired());
  link->invalidate();
}

}  // namespace
}  // namespace lumo::test
