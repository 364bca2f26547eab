// Every way a control session ends or offers a retry, with what the user sees.

#include <gtest/gtest.h>

#include "lumosdk/utils/BluetoothUtil.h"
#include "platform/ui/Application.h"
#include "platform/ui/Color.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::BluetoothUtil;
using lumo::ControlUtil;
using lumo::LumoControlPage;
using platform::dispatch::Seconds;

constexpr const char* kDelayMessage = "您的蓝牙延迟过大,请保持与车辆2M以内距离重新遥控";

class SessionEndingTest : public lumo::test::ControlPageTest {
 protected:
  std::shared_ptr<LumoControlPage> pageInControl() {
    auto page = openPage();
    if (!page || !runUntilInControl(page)) return nullptr;
    return page;
  }
  // Waits for the ending and checks that it shows `message`, holds full brake and takes the
  // page away a second later.
  void expectEnding(const std::shared_ptr<LumoControlPage>& page, const std::string& message) {
    ASSERT_TRUE(runUntil([&] { return page->quitFlag(); }, Seconds(60))) << message;
    runFor(Seconds(0.1));
    EXPECT_EQ(waitDialogMessage(), message);
    runFor(Seconds(0.4));
    EXPECT_EQ(frames.back().throttle, 0);
    EXPECT_EQ(frames.back().brake, 30);
    ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }, Seconds(3)));
    EXPECT_FALSE(BluetoothUtil::isConnected());
    auto toasts = records("ble_toast");
    ASSERT_EQ(toasts.size(), 1u) << "one ending, however many frames asked for it";
    EXPECT_NE(toasts[0].find(message), std::string::npos);
  }
};

TEST_F(SessionEndingTest, TakenOverRemotely) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  page->onForwardSelect();
  vehicle->takeOverRemotely();
  expectEnding(page, "车辆已被他人接管");
}

TEST_F(SessionEndingTest, OnSiteControllerEndsTheSessionOnlyAfterFiftyFrames) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  ASSERT_LT(page->rollCount(), 40);
  vehicle->takeOverOnSite();
  ASSERT_TRUE(runUntil([&] { return page->rollCount() >= 50; }));
  runFor(Seconds(0.12));  // the state frame after frame 50
  EXPECT_FALSE(page->quitFlag());
  EXPECT_EQ(page->driveModeText()->text(), "现场接管");
  ASSERT_TRUE(runUntil([&] { return page->quitFlag(); }));
  EXPECT_EQ(page->rollCount(), 51);
  expectEnding(page, "现场遥控器接管");
}

TEST_F(SessionEndingTest, SafetyTakeoverShowsTheWarningWhileItLasts) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  EXPECT_TRUE(page->warningContainer()->isHidden());
  vehicle->takeOverForSafety();
  runFor(Seconds(0.3));
  EXPECT_EQ(page->driveModeText()->text(), "安全接管");
  EXPECT_EQ(page->driveModeText()->textColor(), platform::ui::Color::redColor());
  EXPECT_TRUE(isVisible("车辆周围有障碍物，请检查确认后再遥控"));
  EXPECT_FALSE(page->quitFlag());
  vehicle->releaseTakeover();
  runFor(Seconds(0.3));
  EXPECT_EQ(page->driveModeText()->text(), "蓝牙遥控");
  EXPECT_EQ(page->driveModeText()->textColor(), platform::ui::Color::black());
  EXPECT_TRUE(page->warningContainer()->isHidden());
}

TEST_F(SessionEndingTest, AModerateDelayIsShownAndKept) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  vehicle->lag(300);
  runFor(Seconds(3));
  EXPECT_FALSE(page->quitFlag());
  EXPECT_GE(page->delayMs(), 300);
  EXPECT_LE(page->delayMs(), 450);
  EXPECT_EQ(page->delayText()->text(), std::to_string(page->delayMs()) + "ms");
}

TEST_F(SessionEndingTest, ADelayOverFiveHundredMillisecondsEnds) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  vehicle->lag(600);
  expectEnding(page, kDelayMessage);
}

TEST_F(SessionEndingTest, AnEchoLaterThanASecondEndsLikeAnyLargeDelay) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  page->onForwardSelect();
  vehicle->lag(1500);
  // The codec reports such an echo as unknown (-1); the page still ends, showing the delay.
  expectEnding(page, kDelayMessage);
  EXPECT_EQ(ControlUtil::getDelay(), -1);
  EXPECT_GT(page->delayMs(), 999);
}

TEST_F(SessionEndingTest, AVehicleThatFallsSilentWhileDrivenEndsTheSession) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  page->onForwardSelect();
  runFor(Seconds(0.5));
  ASSERT_EQ(frames.back().throttle, 10);
  vehicle->setSilent(true);
  runFor(Seconds(0.9));
  EXPECT_FALSE(page->quitFlag()) << "a second of silence is allowed";
  expectEnding(page, kDelayMessage);
}

TEST_F(SessionEndingTest, InactivityAsksThenLeaves) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  // Input keeps the watchdog away.
  runFor(Seconds(20));
  page->onForwardSelect();
  page->onForwardRelease();
  runFor(Seconds(20));
  EXPECT_FALSE(saw("遥控超时"));
  ASSERT_TRUE(runUntil([&] { return isVisible("遥控超时"); }, Seconds(15)));
  EXPECT_TRUE(isVisible("系统发现手机遥控长期无任何操作"));
  ASSERT_TRUE(tapText("继续遥控"));
  runFor(Seconds(1));
  EXPECT_FALSE(isVisible("遥控超时"));
  EXPECT_FALSE(page->quitFlag());
  // Asked again 30 s later; this time nobody answers and the countdown leaves.
  ASSERT_TRUE(runUntil([&] { return isVisible("遥控超时"); }, Seconds(31)));
  expectEnding(page, "已退出遥控");
}

TEST_F(SessionEndingTest, WithoutControlTheInactivityWatchdogNeverFires) {
  vehicle->setGrantDelay(Seconds(1000));
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  runFor(Seconds(4));
  vehicle->takeOverForSafety();  // state frames keep coming, control never granted
  runFor(Seconds(60));
  EXPECT_FALSE(saw("遥控超时"));
}

TEST_F(SessionEndingTest, LeavingTheForegroundEnds) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  page->onRightSelect();
  platform::ui::Application::shared().simulateWillResignActive();
  expectEnding(page, "应用进入后台已为您自动退出");
}

TEST_F(SessionEndingTest, TheHostDismissingThePageWhileConnectingEndsQuietly) {
  radio->setConnectLatency(Seconds(1));
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntil([&] { return waitDialogMessage() == std::optional<std::string>("正在连接..."); }));
  root->dismiss(false);
  ASSERT_TRUE(runUntil([&] { return page->isFinished(); }, Seconds(3)));
  runFor(Seconds(3));
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_TRUE(frames.empty() || frames.back().brake == 30);
  auto sent = frames.size();
  std::weak_ptr<LumoControlPage> weak = page;
  page.reset();
  runFor(Seconds(6));
  EXPECT_EQ(frames.size(), sent);
  EXPECT_TRUE(weak.expired());
}

TEST_F(SessionEndingTest, ALostLinkOffersARetryThatReconnects) {
  auto page = pageInControl();
  ASSERT_NE(page, nullptr);
  page->onForwardSelect();
  runFor(Seconds(3));  // well past the early-loss window: the link does not reconnect itself
  vehicle->dropLink();
  ASSERT_TRUE(runUntil([&] { return isVisible("设备已断开"); }, Seconds(5)));
  EXPECT_TRUE(isVisible("请选择重新连接或者退出遥控"));
  EXPECT_FALSE(page->isCommandLoopRunning());
  auto sent = frames.size();
  runFor(Seconds(1));
  EXPECT_EQ(frames.size(), sent);

  ASSERT_TRUE(tapText("重新连接"));
  ASSERT_TRUE(runUntil([&] { return saw("正在重新连接"); }));
  page->onForwardRelease();
  ASSERT_TRUE(runUntilInControl(page));
  runFor(Seconds(3));
  vehicle->dropLink();
  ASSERT_TRUE(runUntil([&] { return isVisible("设备已断开"); }, Seconds(5)));
  ASSERT_TRUE(tapText("退出遥控"));
  expectEnding(page, "已退出遥控");
}

TEST_F(SessionEndingTest, NoGrantWithinFiveSecondsOffersARetry) {
  vehicle->setGrantDelay(Seconds(1000));
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntil([&] { return isVisible("获取控制权限超时"); }, Seconds(10)));
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_FALSE(page->isCommandLoopRunning());
  runFor(Seconds(2));
  // The disconnect's own report finds the dialog up and stacks nothing on it.
  EXPECT_FALSE(isVisible("设备已断开"));
  vehicle->setGrantDelay(Seconds(0.3));
  ASSERT_TRUE(tapText("重新连接"));
  ASSERT_TRUE(runUntilInControl(page));
}

TEST_F(SessionEndingTest, AVehicleOutOfRangeIsNotFound) {
  vehicle.reset();
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntil([&] { return isVisible("未发现设备"); }, Seconds(30)));
  EXPECT_TRUE(frames.empty());
}

TEST_F(SessionEndingTest, AnEmptyBluetoothNameEndsAtOnceWithoutScanning) {
  backend->world().addVehicle({"LUMO0NONAME", 7, "无名车", "", true});
  radio->clearOperations();
  lumo::LumoSdk::openControlPage(std::string("LUMO0NONAME"));
  ASSERT_TRUE(runUntil([&] { return saw("蓝牙设备名称为空"); }, Seconds(10)));
  ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr && !root->presentedViewController(); }, Seconds(5)));
  runFor(Seconds(35));
  EXPECT_EQ(radio->countOperations("scan"), 0u);
  EXPECT_FALSE(saw("遥控超时"));
  EXPECT_TRUE(frames.empty());
}

}  // namespace
