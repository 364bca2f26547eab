// The control page's pads, wheel and mode switches, driven by a finger on the window.

#include <gtest/gtest.h>

#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::LumoControlPage;
using platform::dispatch::Seconds;
using platform::ui::View;

class ControlPageInputsTest : public lumo::test::ControlPageTest {
 protected:
  void tapView(const View& view) {
    window->tap(centreOf(view));
    runFor(Seconds(0.3));  // the switch's animation and its value-changed event
  }
};

TEST_F(ControlPageInputsTest, PadsAndTheWheelDriveThePageAndLetGoWhenItLeaves) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  ASSERT_NE(page->directionControlHelper(), nullptr);
  EXPECT_TRUE(page->directionControlHelper()->keyMode());  // nothing stored: pads
  EXPECT_FALSE(page->rightControlContainer()->isHidden());
  EXPECT_NE(page->logoImageView()->image(), nullptr);
  EXPECT_NE(page->controlPadUp()->image(), nullptr);

  window->touchDown(1, centreOf(*page->controlPadUp()));
  window->touchDown(2, centreOf(*page->controlPadRight()));
  runFor(Seconds(0.4));
  EXPECT_EQ(page->dy(), 1.0f);
  EXPECT_EQ(page->dx(), 1.0f);
  EXPECT_GT(frames.back().throttle, 0);
  window->touchUp(2, centreOf(*page->controlPadRight()));
  EXPECT_EQ(page->dx(), 0.0f);

  // Steering-wheel mode from the switch: the wheel shows and steers.
  tapView(*page->keyModeSwitch());
  runFor(Seconds(0.6));
  EXPECT_FALSE(page->directionControlHelper()->keyMode());
  EXPECT_FALSE(page->steeringWheel()->isHidden());
  EXPECT_TRUE(page->rightControlContainer()->isHidden());
  auto wheel = centreOf(*page->steeringWheel());
  window->touchDown(3, {wheel.x - 30, wheel.y + 30});
  EXPECT_EQ(page->dx(), -1.0f);

  // The host takes the page away while both are held: nothing stays pressed.
  page->viewWillDisappear(false);
  EXPECT_EQ(page->dy(), 0.0f);
  EXPECT_EQ(page->dx(), 0.0f);
}

// Two fingers at screen coordinates, as a user drives: forward held on the pad and the wheel
// turned to half past one. The frames the vehicle reads carry a normal-mode throttle and half
// right lock (positive at the vehicle; only the wire byte is negated), and the vehicle moves.
TEST_F(ControlPageInputsTest, ForwardAndTheWheelAtHalfPastOneDriveTheVehicleRight) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  tapView(*page->keyModeSwitch());
  runFor(Seconds(0.6));  // the mode animation
  ASSERT_FALSE(page->directionControlHelper()->keyMode());
  ASSERT_FALSE(page->steeringWheel()->isHidden());
  double headingBefore = vehicle->model().heading();

  window->touchDown(1, centreOf(*page->controlPadUp()));
  auto wheel = centreOf(*page->steeringWheel());
  // Down in the upper half leaves the wheel centred; the move to 1:30 turns it.
  window->touchDown(2, {wheel.x, wheel.y - 40});
  EXPECT_EQ(page->dx(), 0.0f);
  window->touchMove(2, {wheel.x + 40, wheel.y - 40});
  EXPECT_NEAR(page->dx(), 0.5f, 1e-6);
  runFor(Seconds(2));

  ASSERT_FALSE(frames.empty());
  const auto& last = frames.back();
  EXPECT_FALSE(last.enableCmd);
  EXPECT_EQ(last.throttle, 10);
  EXPECT_EQ(last.brake, 0);
  EXPECT_EQ(last.steering, 50);
  EXPECT_GT(vehicle->model().speed(), 0.0);
  EXPECT_GT(vehicle->model().steeringAngle(), 0.0);
  EXPECT_GT(vehicle->model().heading(), headingBefore);  // clockwise: a right turn

  // Both fingers up: the next frames brake with the wheel centred.
  window->touchUp(2, {wheel.x + 40, wheel.y - 40});
  window->touchUp(1, centreOf(*page->controlPadUp()));
  runFor(Seconds(0.5));
  EXPECT_EQ(frames.back().throttle, 0);
  EXPECT_GT(frames.back().brake, 0);
  EXPECT_EQ(frames.back().steering, 0);
}

TEST_F(ControlPageInputsTest, TheKeyModeSwitchIsStoredForTheNextPage) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));  // the wait dialogs are gone
  EXPECT_TRUE(page->keyModeSwitch()->isOn());
  tapView(*page->keyModeSwitch());
  EXPECT_TRUE(saw("已切换到方向盘模式"));
  auto stored = platform::foundation::UserDefaults::standard().object(LumoControlPage::PREF_KEY_MODE);
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, false);

  page->exitButtonTapped();
  runFor(Seconds(2));
  auto next = openPage();
  ASSERT_NE(next, nullptr);
  ASSERT_TRUE(runUntilInControl(next));
  EXPECT_FALSE(next->keyModeSwitch()->isOn());
  EXPECT_FALSE(next->directionControlHelper()->keyMode());
  EXPECT_FALSE(next->steeringWheel()->isHidden());
}

TEST_F(ControlPageInputsTest, SafetyCanBeSwitchedOffOnlyWhereAllowedAndAccelerationBringsItBack) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  EXPECT_TRUE(page->safetySwitch()->isOn());
  EXPECT_FALSE(page->accelSwitch()->isOn());

  // Low-speed mode: asked, then switched off.
  tapView(*page->safetySwitch());
  EXPECT_TRUE(isVisible("确定要关闭安全功能吗？这可能会增加操作风险。"));
  ASSERT_TRUE(tapText("确定关闭"));
  runFor(Seconds(0.5));
  EXPECT_FALSE(page->enableSafety());
  ASSERT_FALSE(records("ble_safety").empty());
  EXPECT_NE(records("ble_safety").back().find("\"enable\":false"), std::string::npos);

  // Acceleration needs safety: nothing changes until confirmed, which turns safety on.
  tapView(*page->accelSwitch());
  EXPECT_TRUE(isVisible("当前安全保护已关闭!加速模式下需要启用安全功能, 确定后将会帮您自动打开"));
  EXPECT_FALSE(page->accelerationModelEnable());
  ASSERT_TRUE(tapText("确定"));
  runFor(Seconds(0.5));
  EXPECT_TRUE(page->accelerationModelEnable());
  EXPECT_TRUE(page->enableSafety());
  EXPECT_TRUE(page->safetySwitch()->isOn());
  EXPECT_NE(records("ble_accel").back().find("\"enable\":true"), std::string::npos);

  // In acceleration mode switching safety off is refused, and confirming puts it back on.
  tapView(*page->safetySwitch());
  EXPECT_TRUE(isVisible("当前模式下不支持关闭安全功能"));
  ASSERT_TRUE(tapText("确定"));
  runFor(Seconds(0.5));
  EXPECT_TRUE(page->safetySwitch()->isOn());
  EXPECT_TRUE(page->enableSafety());
}

}  // namespace
