#include <gtest/gtest.h>

#include <numbers>

#include "platform/ui/Button.h"
#include "platform/ui/Control.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;

// Records the touch entries it receives, with the location in its own coordinates.
class RecordingView : public View {
 public:
  using View::View;
  void touchesBegan(const TouchSet& t) override { record("began", t); }
  void touchesMoved(const TouchSet& t) override { record("moved", t); }
  void touchesEnded(const TouchSet& t) override { record("ended", t); }
  void touchesCancelled(const TouchSet& t) override { record("cancelled", t); }
  std::vector<std::string> events;
  std::vector<Point> locations;
  std::function<void()> onBegan;

 private:
  void record(const std::string& what, const TouchSet& t) {
    events.push_back(what);
    locations.push_back(t.front()->locationIn(this));
    if (what == "began" && onBegan) onBegan();
  }
};

using HitTestingTest = UiTest;

TEST_F(HitTestingTest, SkipsHiddenTransparentAndNonInteractiveViews) {
  auto root = window;
  auto bottom = std::make_shared<RecordingView>(Rect{0, 0, 200, 200});
  auto top = std::make_shared<RecordingView>(Rect{50, 50, 100, 100});
  root->addSubview(bottom);
  root->addSubview(top);
  window->makeKeyAndVisible();

  EXPECT_EQ(window->hitTest({60, 60}), top);
  top->setHidden(true);
  EXPECT_EQ(window->hitTest({60, 60}), bottom);
  top->setHidden(false);
  top->setAlpha(0.005);
  EXPECT_EQ(window->hitTest({60, 60}), bottom);
  top->setAlpha(0.02);
  EXPECT_EQ(window->hitTest({60, 60}), top);
  top->setUserInteractionEnabled(false);
  EXPECT_EQ(window->hitTest({60, 60}), bottom);
  // A parent without interaction hides its whole subtree from touches.
  top->setUserInteractionEnabled(true);
  bottom->setUserInteractionEnabled(false);
  EXPECT_EQ(window->hitTest({10, 10}), window);
  EXPECT_EQ(window->hitTest({60, 60}), top);

  auto button = Button::make();
  button->setFrame({300, 300, 50, 50});
  window->addSubview(button);
  EXPECT_EQ(window->hitTest({310, 310}), button);
  button->setEnabled(false);
  EXPECT_EQ(window->hitTest({310, 310}), window);

  // A hidden window takes no touch at all.
  window->setHidden(true);
  EXPECT_EQ(window->hitTest({60, 60}), nullptr);
}

TEST_F(HitTestingTest, TransformedViewsAreHitWhereTheyAreDrawnAndTouchLocationsConvert) {
  auto card = std::make_shared<RecordingView>(Rect{100, 100, 200, 40});
  window->addSubview(card);
  window->makeKeyAndVisible();
  // A quarter turn about the centre (200, 120): the card now stands 40 wide, 200 high.
  card->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
  EXPECT_EQ(window->hitTest({200, 30}), card);
  EXPECT_NE(window->hitTest({110, 120}), card);

  window->touchDown(1, {200, 40});
  window->touchMove(1, {200, 200});
  window->touchUp(1, {200, 200});
  ASSERT_EQ(card->events, (std::vector<std::string>{"began", "moved", "ended"}));
  // (200, 40) is 80 above the centre: along the card's x axis, 20 from its left end.
  EXPECT_NEAR(card->locations[0].x, 20, 1e-9);
  EXPECT_NEAR(card->locations[0].y, 20, 1e-9);
  // The finger left the card, but the card keeps receiving it.
  EXPECT_NEAR(card->locations[2].x, 180, 1e-9);
}

TEST_F(HitTestingTest, ViewRemovedInItsOwnTouchHandlerHasItsTouchCancelled) {
  auto view = std::make_shared<RecordingView>(Rect{0, 0, 100, 100});
  window->addSubview(view);
  window->makeKeyAndVisible();
  view->onBegan = [&] {
    view->removeFromSuperview();
    view->removeFromSuperview();  // a second removal does nothing
  };
  window->touchDown(1, {10, 10});
  EXPECT_EQ(view->superview(), nullptr);
  window->touchMove(1, {20, 20});
  window->touchUp(1, {20, 20});
  // The finger can no longer be lifted from a view that left: it is cancelled once.
  EXPECT_EQ(view->events, (std::vector<std::string>{"began", "cancelled"}));
  EXPECT_EQ(window->activeTouchCount(), 0u);
  EXPECT_TRUE(window->subviews().empty());
  // Moves and lifts of a finger that never went down are ignored.
  window->touchMove(7, {1, 1});
  window->touchUp(7, {1, 1});
  EXPECT_EQ(window->activeTouchCount(), 0u);
}

TEST_F(HitTestingTest, UnhandledTouchesTravelUpTheResponderChain) {
  auto parent = std::make_shared<RecordingView>(Rect{0, 0, 300, 300});
  auto child = View::make({10, 10, 50, 50});
  parent->addSubview(child);
  window->addSubview(parent);
  window->makeKeyAndVisible();
  window->tap({20, 20});
  EXPECT_EQ(parent->events, (std::vector<std::string>{"began", "ended"}));
  // The location is given in the parent's coordinates.
  EXPECT_EQ(parent->locations[0], (Point{20, 20}));
}

TEST_F(HitTestingTest, HidingAViewOrItsAncestorCancelsOnlyTheFingersOnIt) {
  auto container = View::make({0, 0, 200, 100});
  auto pad = std::make_shared<RecordingView>(Rect{0, 0, 100, 100});
  auto other = std::make_shared<RecordingView>(Rect{250, 0, 100, 100});
  container->addSubview(pad);
  window->addSubview(container);
  window->addSubview(other);
  window->makeKeyAndVisible();
  window->touchDown(1, {10, 10});
  window->touchDown(2, {20, 20});
  window->touchDown(3, {260, 10});
  EXPECT_EQ(window->activeTouchCount(), 3u);

  container->setHidden(true);
  EXPECT_EQ(pad->events, (std::vector<std::string>{"began", "began", "cancelled", "cancelled"}));
  EXPECT_EQ(window->activeTouchCount(), 1u);
  container->setHidden(true);  // already hidden: nothing more
  window->touchMove(1, {30, 30});
  window->touchUp(2, {30, 30});
  EXPECT_EQ(pad->events.size(), 4u);
  // The finger elsewhere goes on as before.
  window->touchMove(3, {270, 10});
  EXPECT_EQ(other->events, (std::vector<std::string>{"began", "moved"}));

  // Hiding the window cancels everything left.
  window->setHidden(true);
  EXPECT_EQ(other->events.back(), "cancelled");
  EXPECT_EQ(window->activeTouchCount(), 0u);
}

}  // namespace
}  // namespace lumo::test
