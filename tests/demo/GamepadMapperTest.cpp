#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo/window/GamepadMapper.h"

namespace {

using demo::GamepadMapper;
using Button = GamepadMapper::Button;
using Axis = GamepadMapper::Axis;
using Actions = std::vector<std::string>;

// A mapper whose actions are written down as text, taken one batch at a time.
class Recorder {
 public:
  explicit Recorder(Button deadMan = Button::leftShoulder)
      : mapper([this](const GamepadMapper::Action& action) { actions.push_back(GamepadMapper::describe(action)); },
               deadMan) {}
  Actions take() { return std::exchange(actions, {}); }
  Actions button(Button button, bool down) {
    mapper.button(button, down);
    return take();
  }
  Actions axis(Axis axis, double value) {
    mapper.axis(axis, value);
    return take();
  }

  Actions actions;
  GamepadMapper mapper;
};

TEST(GamepadMapperTest, NothingDrivesWithoutTheDeadManAndLettingGoReleasesEverythingAtOnce) {
  Recorder pad;
  EXPECT_EQ(pad.axis(Axis::leftY, -1), Actions{});
  EXPECT_EQ(pad.button(Button::dpadRight, true), Actions{});
  EXPECT_EQ(pad.button(Button::east, true), Actions{}) << "exit needs the dead-man as well";
  EXPECT_EQ(pad.button(Button::east, false), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftY, 0), Actions{});
  EXPECT_EQ(pad.button(Button::dpadRight, false), Actions{});

  EXPECT_EQ(pad.button(Button::leftShoulder, true), Actions{});
  EXPECT_TRUE(pad.mapper.deadManHeld());
  EXPECT_EQ(pad.axis(Axis::leftY, -0.8), Actions{"press forward"});
  EXPECT_EQ(pad.button(Button::dpadLeft, true), Actions{"press left"});
  // Straight from forward to back: the group lets go before it presses.
  EXPECT_EQ(pad.axis(Axis::leftY, 0.9), (Actions{"release forward", "press back"}));
  EXPECT_EQ(pad.button(Button::east, true), Actions{"exit"});
  EXPECT_EQ(pad.button(Button::leftShoulder, false), (Actions{"release back", "release left"}));
  EXPECT_FALSE(pad.mapper.deadManHeld());
  EXPECT_EQ(pad.axis(Axis::leftY, 0.2), Actions{});

  // The other shoulder, the triggers and the right stick do nothing by themselves.
  EXPECT_EQ(pad.button(Button::rightShoulder, true), Actions{});
  EXPECT_EQ(pad.axis(Axis::rightY, -1), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftTrigger, 1), Actions{});

  // Another dead-man button: the left shoulder is then an ordinary button.
  Recorder right(Button::rightShoulder);
  EXPECT_EQ(right.button(Button::leftShoulder, true), Actions{});
  EXPECT_EQ(right.axis(Axis::leftX, 0.7), Actions{});
  right.axis(Axis::leftX, 0);
  right.button(Button::rightShoulder, true);
  EXPECT_EQ(right.axis(Axis::leftX, 0.7), Actions{"press right"});
  // Losing the controller lets go too, and forgets it: a new grip starts from scratch.
  right.mapper.reset();
  EXPECT_EQ(right.take(), Actions{"release right"});
  EXPECT_EQ(right.axis(Axis::leftX, 0.7), Actions{});
}

TEST(GamepadMapperTest, InputHeldWhenTheDeadManGoesDownWaitsUntilLetGo) {
  Recorder pad;
  pad.axis(Axis::leftY, -1);
  pad.button(Button::dpadLeft, true);
  EXPECT_EQ(pad.button(Button::leftShoulder, true), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftY, -0.9), Actions{});
  // Half way back is not the centre.
  EXPECT_EQ(pad.axis(Axis::leftY, -0.3), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftY, -0.9), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftY, -0.1), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftY, -0.9), Actions{"press forward"});
  // The D-pad direction is still locked while the stick drives.
  EXPECT_EQ(pad.button(Button::dpadDown, true), (Actions{"release forward", "press back"}));
  EXPECT_EQ(pad.button(Button::dpadDown, false), (Actions{"release back", "press forward"}));
  EXPECT_EQ(pad.button(Button::dpadLeft, false), Actions{});
  EXPECT_EQ(pad.button(Button::dpadLeft, true), Actions{"press left"});

  // A stick held sideways locks the whole stick, its other axis too.
  pad.button(Button::leftShoulder, false);
  pad.take();
  pad.button(Button::dpadLeft, false);
  pad.axis(Axis::leftY, 0);
  pad.axis(Axis::leftX, 0.6);
  pad.button(Button::leftShoulder, true);
  EXPECT_EQ(pad.axis(Axis::leftY, -1), Actions{});
  pad.axis(Axis::leftY, 0);
  EXPECT_EQ(pad.axis(Axis::leftX, 0), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftY, -1), Actions{"press forward"});
}

TEST(GamepadMapperTest, PadsFollowTheStickWithHysteresisAndTheWheelFollowsItsAngle) {
  Recorder pad;
  pad.button(Button::leftShoulder, true);
  EXPECT_EQ(pad.axis(Axis::leftX, 0.45), Actions{}) << "below the press travel";
  EXPECT_EQ(pad.axis(Axis::leftX, 0.55), Actions{"press right"});
  EXPECT_EQ(pad.axis(Axis::leftX, 0.35), Actions{}) << "held above the release travel";
  EXPECT_EQ(pad.axis(Axis::leftX, 0.25), Actions{"release right"});
  EXPECT_EQ(pad.axis(Axis::leftX, 0.45), Actions{});
  EXPECT_EQ(pad.axis(Axis::leftX, -0.6), Actions{"press left"});

  // The wheel takes over the stick's sideways travel: the left pad is let go for it.
  pad.mapper.setWheelMode(true);
  EXPECT_EQ(pad.take(), (Actions{"release left", "turn wheel -0.50"}));
  EXPECT_EQ(pad.axis(Axis::leftX, -0.61), Actions{"turn wheel -0.51"});
  EXPECT_EQ(pad.axis(Axis::leftX, -0.611), Actions{}) << "jitter below a hundredth";
  EXPECT_EQ(pad.axis(Axis::leftX, 1), Actions{"turn wheel 1.00"});
  EXPECT_EQ(pad.axis(Axis::leftX, 0.15), Actions{"let go of wheel"});
  EXPECT_EQ(pad.button(Button::dpadLeft, true), Actions{"turn wheel -1.00"});
  EXPECT_EQ(pad.axis(Axis::leftY, -1), Actions{"press forward"});
  EXPECT_EQ(pad.button(Button::leftShoulder, false), (Actions{"release forward", "let go of wheel"}));

  // Back in key mode the D-pad presses the pad again.
  pad.mapper.setWheelMode(false);
  pad.axis(Axis::leftY, 0);
  pad.button(Button::dpadLeft, false);
  pad.button(Button::leftShoulder, true);
  EXPECT_EQ(pad.button(Button::dpadLeft, true), Actions{"press left"});
  EXPECT_EQ(pad.button(Button::dpadRight, true), Actions{"release left"}) << "both ways at once: neither";
}

}  // namespace
