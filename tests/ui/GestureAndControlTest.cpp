#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/Control.h"
#include "platform/ui/GestureRecognizer.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using State = GestureRecognizer::State;

// Recognises every touch sequence, as a pad's press recogniser does.
class PressRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  void touchesBegan(const TouchSet&) override { setState(State::began); }
  void touchesMoved(const TouchSet&) override { setState(State::changed); }
  void touchesEnded(const TouchSet&) override { setState(State::ended); }
  void touchesCancelled(const TouchSet&) override { setState(State::cancelled); }
};

class TouchLog : public View {
 public:
  using View::View;
  void touchesBegan(const TouchSet&) override { events.push_back("began"); }
  void touchesEnded(const TouchSet&) override { events.push_back("ended"); }
  void touchesCancelled(const TouchSet&) override { events.push_back("cancelled"); }
  std::vector<std::string> events;
};

const char* name(State s) {
  switch (s) {
    case State::possible: return "possible";
    case State::began: return "began";
    case State::changed: return "changed";
    case State::ended: return "ended";
    case State::cancelled: return "cancelled";
    case State::failed: return "failed";
  }
  return "?";
}

using GestureAndControlTest = UiTest;

TEST_F(GestureAndControlTest, TapRecognisesOnLiftAndCancelsTheViewsTouch) {
  auto view = std::make_shared<TouchLog>(Rect{0, 0, 100, 100});
  window->addSubview(view);
  window->makeKeyAndVisible();
  int taps = 0;
  Point where{};
  auto tap = std::make_shared<TapGestureRecognizer>([&](GestureRecognizer& r) {
    ++taps;
    where = r.locationIn(view);
  });
  view->addGestureRecognizer(tap);

  window->tap({30, 40});
  EXPECT_EQ(taps, 1);
  EXPECT_EQ(where, (Point{30, 40}));
  EXPECT_EQ(view->events, (std::vector<std::string>{"began", "cancelled"}));
  EXPECT_EQ(tap->state(), State::possible);  // reset for the next touch

  // A finger that moves more than 10 points is not a tap; the view sees it end normally.
  view->events.clear();
  window->touchDown(1, {30, 40});
  window->touchMove(1, {30, 55});
  window->touchUp(1, {30, 55});
  EXPECT_EQ(taps, 1);
  EXPECT_EQ(view->events, (std::vector<std::string>{"began", "ended"}));

  // A refusing delegate keeps the recogniser away from the touch.
  tap->shouldReceiveTouch = [](GestureRecognizer&, const Touch& t) { return t.windowLocation().x > 50; };
  window->tap({20, 20});
  window->tap({70, 20});
  EXPECT_EQ(taps, 2);

  // A disabled recogniser sees nothing.
  tap->setEnabled(false);
  window->tap({70, 20});
  EXPECT_EQ(taps, 2);
}

TEST_F(GestureAndControlTest, SubclassedRecogniserReportsEachStateToItsTargets) {
  auto pad = std::make_shared<TouchLog>(Rect{0, 0, 100, 100});
  window->addSubview(pad);
  window->makeKeyAndVisible();
  std::vector<std::string> states;
  std::vector<bool> inside;
  auto press = std::make_shared<PressRecognizer>([&](GestureRecognizer& r) {
    states.push_back(name(r.state()));
    inside.push_back(pad->bounds().contains(r.locationIn(pad)));
  });
  pad->addGestureRecognizer(press);

  window->touchDown(1, {50, 50});
  window->touchMove(1, {60, 50});
  window->touchMove(1, {150, 50});
  window->touchUp(1, {150, 50});
  EXPECT_EQ(states, (std::vector<std::string>{"began", "changed", "changed", "ended"}));
  EXPECT_EQ(inside, (std::vector<bool>{true, true, false, false}));
  // The recogniser took the touch at once: the view never saw it.
  EXPECT_TRUE(pad->events.empty());

  states.clear();
  window->touchDown(2, {10, 10});
  window->touchCancel(2);
  EXPECT_EQ(states, (std::vector<std::string>{"began", "cancelled"}));
  EXPECT_EQ(press->state(), State::possible);
}

TEST_F(GestureAndControlTest, ARecogniserRemovingItsViewMidTouchLeavesTheTreeConsistent) {
  auto pad = View::make({0, 0, 100, 100});
  window->addSubview(pad);
  window->makeKeyAndVisible();
  int calls = 0;
  auto press = std::make_shared<PressRecognizer>([&](GestureRecognizer& r) {
    ++calls;
    if (r.state() == State::began) {
      pad->removeFromSuperview();
      pad->removeGestureRecognizer(std::static_pointer_cast<GestureRecognizer>(r.shared_from_this()));
    }
  });
  pad->addGestureRecognizer(press);
  window->touchDown(1, {5, 5});
  window->touchMove(1, {6, 6});
  window->touchUp(1, {6, 6});
  EXPECT_GE(calls, 1);
  EXPECT_TRUE(window->subviews().empty());
  EXPECT_TRUE(pad->gestureRecognizers().empty());
  EXPECT_EQ(press->view(), nullptr);
  EXPECT_EQ(window->activeTouchCount(), 0u);
}

TEST_F(GestureAndControlTest, AWindowLetGoWithAFingerStillDownIsFreedWithItsViews) {
  // A recogniser keeps the touches it tracks; the touch must not keep its view (and through
  // it the window's tree) alive, or a window closed mid-press leaks everything on it.
  auto pad = View::make({0, 0, 100, 100});
  pad->addGestureRecognizer(std::make_shared<PressRecognizer>([](GestureRecognizer&) {}));
  window->addSubview(pad);
  window->makeKeyAndVisible();
  window->touchDown(1, {5, 5});
  window->touchMove(1, {6, 6});
  ASSERT_EQ(window->activeTouchCount(), 1u);
  std::weak_ptr<View> padLeft = pad;
  std::weak_ptr<Window> windowLeft = window;
  pad.reset();
  window.reset();
  scene.reset();
  EXPECT_TRUE(padLeft.expired());
  EXPECT_TRUE(windowLeft.expired());
}

TEST_F(GestureAndControlTest, TapOnAButtonInsideATappableCardGoesToTheButton) {
  auto card = View::make({0, 0, 300, 300});
  auto button = Button::make();
  button->setFrame({10, 10, 100, 44});
  card->addSubview(button);
  window->addSubview(card);
  window->makeKeyAndVisible();
  int cardTaps = 0, buttonTaps = 0;
  card->addGestureRecognizer(std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++cardTaps; }));
  button->addTarget([&] { ++buttonTaps; }, ControlEvent::touchUpInside);
  window->tap({20, 20});
  EXPECT_EQ(buttonTaps, 1);
  EXPECT_EQ(cardTaps, 0);
  window->tap({200, 200});
  EXPECT_EQ(cardTaps, 1);
}

TEST_F(GestureAndControlTest, ControlSendsTrackingEventsAndUpInsideOnlyWhenLiftedInside) {
  auto control = std::make_shared<Control>(Rect{0, 0, 100, 100});
  window->addSubview(control);
  window->makeKeyAndVisible();
  std::vector<std::string> events;
  auto record = [&](const char* what) { return [&events, what] { events.push_back(what); }; };
  control->addTarget(record("down"), ControlEvent::touchDown);
  control->addTarget(record("exit"), ControlEvent::touchDragExit);
  control->addTarget(record("enter"), ControlEvent::touchDragEnter);
  control->addTarget(record("upInside"), ControlEvent::touchUpInside);
  control->addTarget(record("upOutside"), ControlEvent::touchUpOutside);
  control->addTarget(record("cancel"), ControlEvent::touchCancel);

  window->touchDown(1, {50, 50});
  EXPECT_TRUE(control->isTracking());
  EXPECT_TRUE(control->isHighlighted());
  window->touchMove(1, {150, 50});
  EXPECT_FALSE(control->isHighlighted());
  window->touchMove(1, {60, 50});
  window->touchUp(1, {60, 50});
  window->touchDown(1, {50, 50});
  window->touchUp(1, {150, 50});
  window->touchDown(1, {50, 50});
  window->touchCancel(1);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "exit", "enter", "upInside", "down", "upOutside", "down",
                                              "cancel"}));
  EXPECT_FALSE(control->isTracking());
}

// Refuses to track while busy, as a switch refuses touches during its animation.
class BusyControl : public Control {
 public:
  using Control::Control;
  bool busy = false;
  bool beginTracking(const Touch&) override { return !busy; }
};

TEST_F(GestureAndControlTest, RefusedTrackingSendsNothingAndActionsMayRemoveThemselves) {
  auto control = std::make_shared<BusyControl>(Rect{0, 0, 100, 100});
  window->addSubview(control);
  window->makeKeyAndVisible();
  int ups = 0, changes = 0;
  control->addTarget([&] { ++ups; }, ControlEvent::touchUpInside);
  control->busy = true;
  window->tap({10, 10});
  EXPECT_EQ(ups, 0);
  control->busy = false;
  window->tap({10, 10});
  EXPECT_EQ(ups, 1);

  int id = 0;
  id = control->addTarget([&] {
    ++changes;
    control->removeTarget(id);
    control->removeFromSuperview();
  }, ControlEvent::valueChanged);
  control->sendActions(ControlEvent::valueChanged);
  control->sendActions(ControlEvent::valueChanged);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(control->superview(), nullptr);
}

TEST_F(GestureAndControlTest, HapticImpactsAreRecordedWithTheirTimeAndReachTheHost) {
  std::vector<double> seen;
  ImpactFeedbackGenerator::setObserver([&](const ImpactFeedbackGenerator::Impact& impact) {
    seen.push_back(impact.time);
  });
  ImpactFeedbackGenerator generator(ImpactFeedbackGenerator::Style::medium);
  generator.impactOccurred();
  runFor(std::chrono::milliseconds(250));
  generator.impactOccurred();
  auto impacts = ImpactFeedbackGenerator::recordedImpacts();
  ASSERT_EQ(impacts.size(), 2u);
  EXPECT_EQ(impacts[0].style, ImpactFeedbackGenerator::Style::medium);
  EXPECT_NEAR(impacts[1].time - impacts[0].time, 0.25, 1e-9);
  EXPECT_EQ(seen, (std::vector<double>{impacts[0].time, impacts[1].time}));
  ImpactFeedbackGenerator::setObserver(nullptr);
  generator.impactOccurred();
  EXPECT_EQ(seen.size(), 2u);
}

}  // namespace
}  // namespace lumo::test
