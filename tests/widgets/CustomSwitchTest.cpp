#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "lumosdk/widgets/CustomSwitch.h"
#include "platform/foundation/KeyedArchive.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::foundation::KeyedArchive;
using std::chrono::milliseconds;

bool near(const Color& a, const Color& b) {
  return std::fabs(a.red - b.red) < 1e-9 && std::fabs(a.green - b.green) < 1e-9 && std::fabs(a.blue - b.blue) < 1e-9 &&
         std::fabs(a.alpha - b.alpha) < 1e-9;
}

// A 58 × 35 switch at (100, 100) inside a row view, in a visible window; its thumb runs
// from x 17.5 (off) to 40.5 (on) in its own coordinates.
class CustomSwitchTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    row = View::make({0, 0, 390, 300});
    control = CustomSwitch::make(Rect{100, 100, 58, 35});
    control->addTarget([this](Control&) { values.push_back(control->isOn()); }, ControlEvent::valueChanged);
    row->addSubview(control);
    window->addSubview(row);
    window->makeKeyAndVisible();
  }
  static Point at(double x) { return {100 + x, 117}; }
  void drag(int finger, double fromX, double toX) {
    window->touchDown(finger, at(fromX));
    window->touchMove(finger, at((fromX + toX) / 2));
    window->touchMove(finger, at(toX));
    window->touchUp(finger, at(toX));
  }

  std::shared_ptr<View> row;
  std::shared_ptr<CustomSwitch> control;
  std::vector<bool> values;
};

TEST_F(CustomSwitchTest, ATapAnimatesTheThumbAndSendsOneEventAfterIt) {
  EXPECT_EQ(control->intrinsicContentSize(), (Size{58, 35}));
  window->tap(at(20));
  EXPECT_TRUE(control->isOn());
  EXPECT_TRUE(control->isAnimating());
  EXPECT_TRUE(values.empty());
  // Frame 5 (t = 5/60 s): p = t'(1 + 1.5(1 - t')) with t' = (5/60) / 0.15.
  runFor(milliseconds(84));
  double t = (5.0 / 60) / 0.15;
  EXPECT_NEAR(control->animationFraction(), t * (1 + 1.5 * (1 - t)), 1e-6);
  // Frame 8 overshoots: the colours follow, the thumb stays on the track.
  runFor(milliseconds(50));
  EXPECT_GT(control->animationFraction(), 1.0);
  EXPECT_EQ(control->currentThumbCenterX(), 58 - 17.5);
  runFor(milliseconds(40));
  EXPECT_FALSE(control->isAnimating());
  EXPECT_EQ(control->animationFraction(), 1.0);
  EXPECT_EQ(values, (std::vector<bool>{true}));
  runFor(milliseconds(500));
  EXPECT_EQ(values.size(), 1u);
  // On: track in the on colour, "开" on the left half in white.
  EXPECT_TRUE(near(control->trackLayer()->fillColor, Color::rgb255(0, 82, 217)));
  EXPECT_EQ(control->textLayer()->string, "开");
  EXPECT_EQ(control->textLayer()->foregroundColor, Color::white());
  EXPECT_NEAR(control->textLayer()->frame().midX(), 17.5, 1e-9);
}

TEST_F(CustomSwitchTest, TouchesDuringTheAnimationAreRefused) {
  window->tap(at(20));
  runFor(milliseconds(50));
  window->tap(at(20));  // refused: the thumb is still moving
  drag(2, 40, 0);
  EXPECT_TRUE(control->isOn());
  runFor(milliseconds(200));
  EXPECT_EQ(values, (std::vector<bool>{true}));
  window->tap(at(20));  // accepted once it has arrived
  runFor(milliseconds(200));
  EXPECT_EQ(values, (std::vector<bool>{true, false}));
}

TEST_F(CustomSwitchTest, DragsDecideByTheMiddleAndSmallMovesCountAsTaps) {
  drag(1, 17, 27);  // 10 points: a tap, not a drag
  runFor(milliseconds(200));
  EXPECT_EQ(values, (std::vector<bool>{true}));
  drag(2, 40, 20);  // exactly 20: still a tap
  runFor(milliseconds(200));
  EXPECT_EQ(values, (std::vector<bool>{true, false}));

  // Released before the middle: slides back, no event.
  window->touchDown(3, at(10));
  window->touchMove(3, at(31));  // past the slop: dragging from the thumb's place
  EXPECT_TRUE(control->isDragging());
  EXPECT_FALSE(row->isUserInteractionEnabled());
  EXPECT_NEAR(control->animationFraction(), (21.0) / 23.0, 1e-9);
  window->touchMove(3, at(20));  // back before the middle
  window->touchUp(3, at(20));
  EXPECT_TRUE(row->isUserInteractionEnabled());
  runFor(milliseconds(200));
  EXPECT_FALSE(control->isOn());
  EXPECT_EQ(control->animationFraction(), 0.0);
  EXPECT_EQ(values.size(), 2u);

  // Released past the middle: on, one event.
  window->touchDown(4, at(10));
  window->touchMove(4, at(35));
  window->touchMove(4, at(90));  // beyond the end: the thumb stops at the end
  EXPECT_EQ(control->currentThumbCenterX(), 40.5);
  window->touchUp(4, at(90));
  runFor(milliseconds(200));
  EXPECT_EQ(values, (std::vector<bool>{true, false, true}));
}

TEST_F(CustomSwitchTest, ALostTouchSlidesBackAndGivesTheRowItsTouchesAgain) {
  window->touchDown(1, at(10));
  window->touchMove(1, at(45));
  EXPECT_FALSE(row->isUserInteractionEnabled());
  window->touchCancel(1);
  EXPECT_TRUE(row->isUserInteractionEnabled());
  runFor(milliseconds(200));
  EXPECT_EQ(control->animationFraction(), 0.0);

  window->touchDown(2, at(10));
  window->touchMove(2, at(45));
  control->setHidden(true);  // hidden mid-drag: the finger is cancelled
  EXPECT_TRUE(row->isUserInteractionEnabled());
  EXPECT_FALSE(control->isDragging());
  runFor(milliseconds(200));
  EXPECT_FALSE(control->isOn());
  EXPECT_TRUE(values.empty());
}

TEST_F(CustomSwitchTest, SetOnAndAssignmentSendEventsOnlyForChanges) {
  control->setOn(true, false);
  EXPECT_EQ(values, (std::vector<bool>{true}));
  EXPECT_EQ(control->animationFraction(), 1.0);
  control->setOn(true, false);
  control->setOn(true, true);
  runFor(milliseconds(300));
  EXPECT_EQ(values.size(), 1u);

  // Assignment animates without an event.
  control->setIsOn(false);
  EXPECT_TRUE(control->isAnimating());
  runFor(milliseconds(300));
  EXPECT_EQ(control->animationFraction(), 0.0);
  EXPECT_EQ(values.size(), 1u);

  // A listener that changes the switch back from its handler causes no nested event.
  control->addTarget([this](Control&) { control->setOn(false, false); }, ControlEvent::valueChanged);
  control->setOn(true, false);
  EXPECT_EQ(values, (std::vector<bool>{true, true}));
  EXPECT_FALSE(control->isOn());

  // The delayed event of a switch that is gone is dropped.
  control->setOn(true, true);
  std::weak_ptr<CustomSwitch> weak = control;
  control->removeFromSuperview();
  row.reset();
  control.reset();
  runFor(milliseconds(300));
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(values.size(), 2u);
}

TEST_F(CustomSwitchTest, IconAndTextFollowTheHalfWayPoint) {
  auto icon = Image::fromPixels(4, 4, std::vector<std::uint32_t>(16, 0xff202020u));
  control->setIconOnImage(icon);
  // Off without an off icon: the on icon as a template in the off tint.
  auto shown = control->iconImageView()->image();
  ASSERT_TRUE(shown);
  EXPECT_TRUE(shown->isTemplate());
  EXPECT_EQ(control->iconImageView()->tintColor(), Color::rgb255(133, 155, 199));
  EXPECT_EQ(control->iconImageView()->frame(), (Rect{17.5 - 13.5, 4, 27, 27}));
  EXPECT_EQ(control->textLayer()->string, "关");
  EXPECT_EQ(control->textLayer()->foregroundColor, Color::darkGray());
  EXPECT_NEAR(control->textLayer()->frame().midX(), 58 - 17.5, 1e-9);
  EXPECT_EQ(control->textLayer()->frame().width(), 30);

  // Exactly half-way still shows the off side.
  window->touchDown(1, at(10));
  window->touchMove(1, at(31));
  window->touchMove(1, at(21.5));  // thumb centre 29: fraction 0.5
  EXPECT_EQ(control->animationFraction(), 0.5);
  EXPECT_EQ(control->textLayer()->string, "关");
  EXPECT_EQ(control->iconImageView()->tintColor(), Color::rgb255(133, 155, 199));
  EXPECT_TRUE(near(control->trackLayer()->fillColor, Color{112 / 255.0, 153 / 255.0, 220.5 / 255.0, 1}));
  window->touchMove(1, at(22));
  EXPECT_EQ(control->textLayer()->string, "开");
  EXPECT_EQ(control->iconImageView()->tintColor(), Color::rgb255(8, 85, 242));
  window->touchUp(1, at(22));

  // A name that finds no image leaves the icon empty; the SDK's own icon loads.
  control->setIconOn("no_such_icon.png");
  EXPECT_EQ(control->iconOn(), nullptr);
  EXPECT_EQ(control->iconImageView()->image(), nullptr);
  control->setIconOn("key_switch_icon.png");
  EXPECT_NE(control->iconOn(), nullptr);
  EXPECT_EQ(control->iconOnName(), "key_switch_icon.png");
}

TEST_F(CustomSwitchTest, ComesBackFromItsArchiveAndIgnoresBadKeys) {
  control->setOn(true, false);
  control->setTrackColorOn(Color::rgb255(10, 20, 30));
  control->setTextOff("OFF");
  control->setIconOn("safe_mode_icon.png");
  KeyedArchive archive;
  control->encode(archive);
  auto copy = CustomSwitch::make(KeyedArchive::fromText(archive.text()));
  int events = 0;
  copy->addTarget([&](Control&) { ++events; }, ControlEvent::valueChanged);
  EXPECT_TRUE(copy->isOn());
  EXPECT_EQ(copy->animationFraction(), 1.0);
  EXPECT_FALSE(copy->isAnimating());
  EXPECT_EQ(copy->trackColorOn(), Color::rgb255(10, 20, 30));
  EXPECT_EQ(copy->textOff(), "OFF");
  EXPECT_EQ(copy->textOn(), "开");
  EXPECT_NE(copy->iconOn(), nullptr);
  EXPECT_EQ(copy->frame(), (Rect{100, 100, 58, 35}));

  auto odd = CustomSwitch::make(KeyedArchive::fromText(
      R"({"isOn": "yes", "trackColorOn": "blue", "textOn": 1, "iconOnName": false, "iconOffName": "../../etc"})"));
  EXPECT_FALSE(odd->isOn());
  EXPECT_EQ(odd->trackColorOn(), Color::rgb255(0, 82, 217));
  EXPECT_EQ(odd->textOn(), "开");
  EXPECT_EQ(odd->iconOn(), nullptr);
  EXPECT_EQ(odd->iconOff(), nullptr);
  runFor(milliseconds(300));
  EXPECT_EQ(events, 0);
}

}  // namespace
}  // namespace lumo::test
