// A control session from openControlPage to the page gone, as the user and the vehicle see it.

#include <gtest/gtest.h>

#include "lumosdk/utils/BluetoothUtil.h"
#include "platform/ui/WindowScene.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::BluetoothUtil;
using lumo::ControlUtil;
using lumo::LumoControlPage;
using lumo::LumoSdk;
using platform::dispatch::Seconds;
using sim::ControlFrame;

class SessionLifeTest : public lumo::test::ControlPageTest {};

bool isRequestFrame(const ControlFrame& frame) {
  return frame.enableCmd && !frame.enableAntiCollision && frame.throttle == 0 && frame.brake == 30 &&
         frame.steering == 0;
}

TEST_F(SessionLifeTest, FromOpeningToThePageGone) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(saw("正在获取车辆信息"));
  EXPECT_TRUE(LumoSdk::landspace());
  EXPECT_EQ(scene->interfaceOrientation(), platform::ui::InterfaceOrientation::landscapeRight);
  EXPECT_EQ(page->bleName(), sim::BackendSimulator::kDemoBleName);
  EXPECT_EQ(page->carNumber()->text(), "配送车 001");
  EXPECT_EQ(page->title(), "蓝牙遥控");
  ASSERT_NE(page->navigationController(), nullptr);
  EXPECT_TRUE(page->navigationController()->isNavigationBarHidden());

  ASSERT_TRUE(runUntilInControl(page));
  for (const char* text : {"正在初始化蓝牙", "正在扫描设备", "正在连接...", "已连接,正在请求控制权限"}) {
    EXPECT_TRUE(saw(text)) << text;
  }
  // Until the vehicle granted control, every frame asked for it, whatever the inputs.
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.front().tick, 1);
  for (const auto& frame : frames) EXPECT_TRUE(isRequestFrame(frame)) << frame.tick;
  runFor(Seconds(0.5));
  EXPECT_EQ(waitDialogMessage(), std::nullopt) << "the grant closes the wait dialog";
  EXPECT_EQ(page->driveModeText()->text(), "蓝牙遥控");
  EXPECT_EQ(page->delayText()->text(), std::to_string(page->delayMs()) + "ms");
  EXPECT_GE(page->delayMs(), 0);
  EXPECT_LE(page->delayMs(), 150);
  auto states = records("ble_state");
  ASSERT_GE(states.size(), 3u);
  EXPECT_NE(states.back().find("\"state\":\"linkConnected\""), std::string::npos) << states.back();
  EXPECT_NE(states.back().find("\"vid\":"), std::string::npos);

  // Forward held: the vehicle drives; let go: it brakes.
  page->onForwardSelect();
  runFor(Seconds(2));
  EXPECT_EQ(frames.back().throttle, 10);
  EXPECT_EQ(frames.back().brake, 0);
  EXPECT_FALSE(frames.back().enableCmd);
  EXPECT_TRUE(frames.back().enableAntiCollision);
  EXPECT_GT(vehicle->model().speed(), 0.1);
  page->onForwardRelease();
  runFor(Seconds(0.3));
  EXPECT_EQ(frames.back().throttle, 0);
  EXPECT_EQ(frames.back().brake, 30);

  // The exit button: full brake at once, the message, and 1 s later the page is gone.
  page->onForwardSelect();
  runFor(Seconds(0.3));
  ASSERT_TRUE(tapText("退出"));
  EXPECT_TRUE(page->quitFlag());
  runFor(Seconds(0.1));
  EXPECT_EQ(waitDialogMessage(), "退出中");
  runFor(Seconds(0.5));
  EXPECT_EQ(frames.back().throttle, 0);
  EXPECT_EQ(frames.back().brake, 30);
  auto toasts = records("ble_toast");
  ASSERT_EQ(toasts.size(), 1u);
  EXPECT_NE(toasts[0].find("\"msg\":\"退出中\""), std::string::npos) << toasts[0];
  std::size_t framesAtFinish = 0;
  ASSERT_TRUE(runUntil([&] {
    framesAtFinish = frames.size();
    return page->isFinished();
  }));
  ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }));
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_FALSE(LumoSdk::landspace());
  EXPECT_EQ(waitDialogMessage(), std::nullopt);

  // Nothing keeps the page beyond the authority watchdog's look, and nothing more is sent.
  std::weak_ptr<LumoControlPage> weak = page;
  page.reset();
  runFor(Seconds(6));
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(frames.size(), framesAtFinish);
  EXPECT_LT(vehicle->model().speed(), 0.01);
}

TEST_F(SessionLifeTest, FramesCarryTheInputsScaledAndTruncated) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  // Inputs held before the grant never reach the vehicle, not even after it: they drive
  // once pressed again.
  page->onForwardSelect();
  page->onRightSelect();
  ASSERT_TRUE(runUntilInControl(page));
  runFor(Seconds(0.3));
  for (const auto& frame : frames) {
    EXPECT_EQ(frame.throttle, 0);
    EXPECT_EQ(frame.steering, 0);
  }
  page->onForwardRelease();
  page->onRightRelease();
  page->onForwardSelect();
  page->onRightSelect();
  runFor(Seconds(0.3));
  EXPECT_EQ(frames.back().throttle, 10);
  EXPECT_EQ(frames.back().steering, 100);

  auto lastFrame = [&] {
    runFor(Seconds(0.3));
    return frames.back();
  };
  page->onRightRelease();
  page->onSteeringWheelAngleChanged(0.456f);
  EXPECT_EQ(lastFrame().steering, 45);  // sent as -45 on the wire
  page->onSteeringWheelAngleChanged(-0.999f);
  EXPECT_EQ(lastFrame().steering, -99);
  page->onLeftSelect();
  EXPECT_EQ(lastFrame().steering, -100);
  page->onLeftRelease();
  page->onForwardRelease();
  auto released = lastFrame();
  EXPECT_EQ(released.steering, 0);
  EXPECT_EQ(released.throttle, 0);
  EXPECT_EQ(released.brake, 30);

  page->setAccelerationModelEnable(true);
  page->onBackSelect();
  auto back = lastFrame();
  EXPECT_EQ(back.throttle, -30);
  EXPECT_EQ(back.brake, 0);
  page->setEnableSafety(false);
  EXPECT_FALSE(lastFrame().enableAntiCollision);

  // Ticks count every frame built, one per 150 ms.
  for (std::size_t i = 1; i < frames.size(); ++i) EXPECT_EQ(frames[i].tick, frames[i - 1].tick + 1);
  EXPECT_EQ(frames.back().tick, page->rollCount());
}

TEST_F(SessionLifeTest, ASecondPageStartsFromAClearedVehicleState) {
  auto first = openPage();
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(runUntilInControl(first));
  first->exitButtonTapped();
  ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }));
  first.reset();

  // Another vehicle, slow to grant: the new session must ask it, not inherit the old grant.
  auto other = *backend->world().vehicle("LUMO0DEMO00000002");
  sim::VehicleSimulator second(radio, std::string("LUMO-V002"));
  std::vector<ControlFrame> secondFrames;
  second.setFrameObserver([&](const ControlFrame& frame) { secondFrames.push_back(frame); });
  second.setGrantDelay(Seconds(2));
  auto page = openPage(other.vin);
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(ControlUtil::isCanControl());
  ASSERT_TRUE(runUntil([&] { return second.hasControlGranted(); }));
  ASSERT_FALSE(secondFrames.empty());
  for (const auto& frame : secondFrames) EXPECT_TRUE(isRequestFrame(frame)) << frame.tick;
  EXPECT_EQ(secondFrames.front().tick, 1);
  ASSERT_TRUE(runUntilInControl(page));
}

}  // namespace

namespace {

TEST_F(SessionLifeTest, WithdrawnControlIsAskedForAgainWithoutANewWatchdog) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  page->onForwardSelect();
  runFor(Seconds(0.5));
  vehicle->setGrantDelay(Seconds(1000));
  vehicle->withdrawControl();
  runFor(Seconds(1));
  std::size_t from = frames.size();
  runFor(Seconds(40));
  // Every frame asks again, the user's forward press stays out of them, and neither the
  // authority watchdog nor the inactivity watchdog interrupts (each frame without control
  // restarts the latter).
  for (std::size_t i = from; i < frames.size(); ++i) EXPECT_TRUE(isRequestFrame(frames[i])) << frames[i].tick;
  EXPECT_FALSE(saw("获取控制权限超时"));
  EXPECT_FALSE(saw("遥控超时"));
  EXPECT_TRUE(page->hasControlAble());
  EXPECT_FALSE(page->quitFlag());
  // Granted again while forward is still held: it holds the brake until pressed anew.
  vehicle->grantControl();
  runFor(Seconds(0.5));
  EXPECT_EQ(frames.back().throttle, 0);
  EXPECT_EQ(frames.back().brake, 30);
  page->onForwardRelease();
  page->onForwardSelect();
  runFor(Seconds(0.5));
  EXPECT_EQ(frames.back().throttle, 10);
}

}  // namespace
