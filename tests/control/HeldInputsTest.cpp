// Inputs that are held across the moments a session changes state: a finger already down when
// control is granted does not drive until it has let go, and a held input is the user at work
// for the inactivity watchdog.

#include <gtest/gtest.h>

#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::ControlUtil;
using lumo::LumoControlPage;
using platform::dispatch::Seconds;
using sim::ControlFrame;

bool isNeutral(const ControlFrame& frame) { return frame.throttle == 0 && frame.brake == 30 && frame.steering == 0; }

class HeldInputsTest : public lumo::test::ControlPageTest {
 protected:
  // Frames the vehicle accepted from `from` on that were sent with control (no request bit).
  std::vector<ControlFrame> grantedFramesSince(std::size_t from) const {
    std::vector<ControlFrame> found;
    for (std::size_t i = from; i < frames.size(); ++i) {
      if (!frames[i].enableCmd) found.push_back(frames[i]);
    }
    return found;
  }

  void switchToTheWheel(const std::shared_ptr<LumoControlPage>& page) {
    window->tap(centreOf(*page->keyModeSwitch()));
    runFor(Seconds(0.9));  // the switch's animation, then the mode animation
    ASSERT_FALSE(page->directionControlHelper()->keyMode());
  }
};

TEST_F(HeldInputsTest, APadHeldAtTheGrantDrivesOnlyOnceItWasLetGo) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  // Control is withdrawn (no dialog covers the pads then); the finger goes down while the
  // phone asks for control again, and stays there through the grant.
  vehicle->setGrantDelay(Seconds(2));
  vehicle->withdrawControl();
  ASSERT_TRUE(runUntil([] { return !ControlUtil::isCanControl(); }, Seconds(2)));
  auto forward = centreOf(*page->controlPadUp());
  window->touchDown(1, forward);
  ASSERT_EQ(page->dy(), 1.0f);
  ASSERT_TRUE(runUntil([] { return ControlUtil::isCanControl(); }, Seconds(5)));
  std::size_t granted = frames.size();
  runFor(Seconds(3));
  auto held = grantedFramesSince(granted);
  ASSERT_GE(held.size(), 15u);
  for (const auto& frame : held) EXPECT_TRUE(isNeutral(frame)) << "frame " << frame.tick << " drives from a held pad";
  EXPECT_LT(std::abs(vehicle->model().speed()), 1e-9);

  // Let go, and press again: now it is the user's press after the grant, and it drives.
  window->touchUp(1, forward);
  runFor(Seconds(0.5));
  window->touchDown(1, forward);
  runFor(Seconds(1));
  EXPECT_EQ(frames.back().throttle, 10);
  EXPECT_EQ(frames.back().brake, 0);
  window->touchUp(1, forward);
  runFor(Seconds(0.5));

  // Withdrawn and granted again (drive mode 8) while right and forward are held: neither
  // drives until each is let go; a press after the grant waits for the held one too.
  vehicle->setGrantedDriveMode(sim::VehicleSimulator::phoneControl);
  vehicle->setGrantDelay(Seconds(1));
  window->touchDown(2, centreOf(*page->controlPadRight()));
  runFor(Seconds(0.5));
  vehicle->withdrawControl();
  ASSERT_TRUE(runUntil([] { return !ControlUtil::isCanControl(); }, Seconds(2)));
  window->touchDown(1, forward);
  ASSERT_TRUE(runUntil([] { return ControlUtil::isCanControl(); }, Seconds(5)));
  std::size_t regranted = frames.size();
  runFor(Seconds(1));
  window->touchUp(1, forward);
  runFor(Seconds(1));
  for (const auto& frame : grantedFramesSince(regranted)) {
    EXPECT_TRUE(isNeutral(frame)) << "frame " << frame.tick << " drives while right is still held from the grant";
  }
  std::size_t released = frames.size();
  window->touchUp(2, centreOf(*page->controlPadRight()));
  window->touchDown(2, centreOf(*page->controlPadLeft()));
  runFor(Seconds(1));
  ASSERT_GT(frames.size(), released);
  EXPECT_EQ(frames.back().steering, -100) << "a fresh press after every held input let go drives";
  EXPECT_FALSE(page->quitFlag());
}

TEST_F(HeldInputsTest, AWheelTurnedAtTheGrantSteersOnlyOnceItCameBackToTheCentre) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  switchToTheWheel(page);
  auto wheel = centreOf(*page->steeringWheel());
  vehicle->setGrantDelay(Seconds(1));
  vehicle->withdrawControl();
  ASSERT_TRUE(runUntil([] { return !ControlUtil::isCanControl(); }, Seconds(2)));
  // Turned to half past one while control is away, and kept there through the grant.
  window->touchDown(3, {wheel.x, wheel.y - 40});
  window->touchMove(3, {wheel.x + 40, wheel.y - 40});
  ASSERT_NEAR(page->dx(), 0.5f, 1e-6);
  ASSERT_TRUE(runUntil([] { return ControlUtil::isCanControl(); }, Seconds(5)));
  std::size_t granted = frames.size();
  runFor(Seconds(1));
  // Turning it further while it never came back is the same held input.
  window->touchMove(3, {wheel.x + 40, wheel.y});
  runFor(Seconds(1));
  auto held = grantedFramesSince(granted);
  ASSERT_FALSE(held.empty());
  for (const auto& frame : held) EXPECT_TRUE(isNeutral(frame)) << "frame " << frame.tick << " steers";

  window->touchUp(3, {wheel.x + 40, wheel.y});
  ASSERT_EQ(page->dx(), 0.0f);
  window->touchDown(3, {wheel.x, wheel.y - 40});
  window->touchMove(3, {wheel.x + 40, wheel.y - 40});
  runFor(Seconds(0.5));
  EXPECT_EQ(frames.back().steering, 50) << "a fresh turn after the release steers; dx " << page->dx() << ", in control "
                                        << ControlUtil::isCanControl() << ", quitting " << page->quitFlag()
                                        << ", frames " << frames.size();
}

TEST_F(HeldInputsTest, HoldingAnInputIsActivityAndTheWatchdogRestartsAtTheRelease) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  runFor(Seconds(1));
  auto forward = centreOf(*page->controlPadUp());
  window->touchDown(1, forward);
  runFor(Seconds(75));
  EXPECT_FALSE(saw("遥控超时")) << "forward held for 75 s is not inactivity";
  EXPECT_FALSE(page->quitFlag());
  EXPECT_EQ(frames.back().throttle, 10);
  window->touchUp(1, forward);
  runFor(Seconds(29));
  EXPECT_FALSE(saw("遥控超时"));
  ASSERT_TRUE(runUntil([&] { return isVisible("遥控超时"); }, Seconds(2))) << "30 s after the release";
  ASSERT_TRUE(tapText("继续遥控"));
  runFor(Seconds(1));
  clearSeen();

  // The steering wheel: turning it is activity, and a wheel held off the centre keeps the
  // watchdog away as a held pad does.
  switchToTheWheel(page);
  auto wheel = centreOf(*page->steeringWheel());
  for (double offset : {40.0, 20.0, -20.0, -40.0}) {
    runFor(Seconds(20));
    window->touchDown(3, {wheel.x, wheel.y - 40});
    window->touchMove(3, {wheel.x + offset, wheel.y - 40});
    window->touchUp(3, {wheel.x + offset, wheel.y - 40});
  }
  window->touchDown(3, {wheel.x, wheel.y - 40});
  window->touchMove(3, {wheel.x - 40, wheel.y - 40});
  runFor(Seconds(45));
  EXPECT_FALSE(saw("遥控超时"));
  window->touchUp(3, {wheel.x - 40, wheel.y - 40});
  ASSERT_TRUE(runUntil([&] { return isVisible("遥控超时"); }, Seconds(31)));
}

// A press during the one-second ending stays out of the frames: full brake to the last.
TEST_F(HeldInputsTest, AnInputPressedWhileEndingLeavesTheBrakeOn) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  page->exitButtonTapped();
  std::size_t ending = frames.size();
  runFor(Seconds(0.2));
  page->onForwardSelect();
  page->onSteeringWheelAngleChanged(0.8f);
  runFor(Seconds(0.7));
  ASSERT_GT(frames.size(), ending + 2);
  for (std::size_t i = ending; i < frames.size(); ++i) {
    EXPECT_TRUE(isNeutral(frames[i])) << "frame " << frames[i].tick;
    EXPECT_FALSE(frames[i].enableCmd) << "frame " << frames[i].tick;
  }
  runFor(Seconds(1));
  EXPECT_TRUE(page->isFinished());
}

}  // namespace
