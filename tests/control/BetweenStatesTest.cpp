// The moments between a session's states: a grant in any drive mode frees the page, a page
// that is leaving never asks for control, and a page that lost the link to a newer page
// writes nothing through it.

#include <gtest/gtest.h>

#include "lumosdk/utils/BluetoothUtil.h"
#include "platform/ui/Application.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::BluetoothUtil;
using lumo::ControlUtil;
using lumo::LumoControlPage;
using platform::dispatch::Seconds;
using sim::ControlFrame;

constexpr const char* kRequesting = "已连接,正在请求控制权限";

class BetweenStatesTest : public lumo::test::ControlPageTest {};

// Whatever mode the vehicle reports with its grant, the wait dialog goes with the first
// granted frame, so the pads and the exit button are the user's again.
TEST_F(BetweenStatesTest, AGrantInAnyDriveModeClosesTheWaitDialog) {
  for (int mode : {8, 4, 0, 1, 2, 3, 7, 9, 200}) {
    SCOPED_TRACE("drive mode " + std::to_string(mode));
    vehicle->setGrantedDriveMode(static_cast<std::uint8_t>(mode));
    auto page = openPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(runUntil([&] { return waitDialogMessage() == std::optional<std::string>(kRequesting); }));
    ASSERT_TRUE(runUntil([] { return ControlUtil::isCanControl(); }));
    std::int64_t grantedAt = page->rollCount();
    ASSERT_TRUE(runUntil([&] { return page->rollCount() > grantedAt; }));
    EXPECT_EQ(waitDialogMessage(), std::nullopt) << "one frame after the grant";
    EXPECT_EQ(page->driveModeText()->text(), LumoControlPage::driveModeName(mode));
    window->touchDown(1, centreOf(*page->controlPadUp()));
    runFor(Seconds(0.5));
    EXPECT_EQ(frames.back().throttle, 10) << "the pads are not covered";
    window->touchUp(1, centreOf(*page->controlPadUp()));
    ASSERT_TRUE(tapText("退出"));
    ASSERT_TRUE(runUntil([&] { return page->isFinished() && presentedPage() == nullptr; }, Seconds(5)));
    frames.clear();
  }
}

TEST_F(BetweenStatesTest, APageThatIsLeavingNeverAsksForControl) {
  // Leaving before any grant: the ending's frames hold the brake and do not ask.
  vehicle->setGrantDelay(Seconds(1000));
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntil([&] { return page->rollCount() > 3; }));
  platform::ui::Application::shared().simulateWillResignActive();
  std::int64_t endingAt = page->rollCount();
  runFor(Seconds(1.5));
  ASSERT_TRUE(page->isFinished());
  std::size_t sentWhileEnding = 0;
  for (const auto& frame : frames) {
    if (frame.tick <= endingAt) continue;
    ++sentWhileEnding;
    EXPECT_FALSE(frame.enableCmd) << "frame " << frame.tick << " asks for control while leaving";
    EXPECT_EQ(frame.brake, 30);
    EXPECT_EQ(frame.throttle, 0);
  }
  EXPECT_GE(sentWhileEnding, 5u);
  EXPECT_FALSE(vehicle->hasControlGranted());
  ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }, Seconds(5)));

  // A link that comes up after the ending began is let go: no loop, no watchdog.
  vehicle->setGrantDelay(Seconds(0.3));
  page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  runFor(Seconds(3));  // past the early-loss window, in which the link reconnects itself
  vehicle->dropLink();
  ASSERT_TRUE(runUntil([&] { return isVisible("重新连接"); }));
  ASSERT_TRUE(tapText("重新连接"));
  ASSERT_TRUE(runUntil([&] { return waitDialogMessage() == std::optional<std::string>("正在连接..."); }));
  page->exitButtonTapped();
  std::size_t before = frames.size();
  std::uint64_t connections = vehicle->connections();
  runFor(Seconds(0.9));
  EXPECT_FALSE(page->isCommandLoopRunning());
  EXPECT_EQ(frames.size(), before) << "no frames from a link that came up while leaving";
  EXPECT_EQ(waitDialogMessage(), std::optional<std::string>("退出中"));
  runFor(Seconds(6));
  EXPECT_TRUE(page->isFinished());
  EXPECT_FALSE(saw("获取控制权限超时"));
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_LE(vehicle->connections(), connections + 1);
}

// Two windows, a page in each: the newer page takes the link over. The older one writes
// nothing through it, its loop stops, and going away it leaves the newer session alone.
TEST_F(BetweenStatesTest, APageWhoseLinkANewerPageTookWritesNothing) {
  auto older = openPage();
  ASSERT_NE(older, nullptr);
  ASSERT_TRUE(runUntilInControl(older));
  older->onForwardSelect();
  runFor(Seconds(0.5));

  auto secondWindow = platform::ui::Window::make(scene);
  auto secondRoot = platform::ui::ViewController::make();
  secondWindow->setRootViewController(secondRoot);
  secondWindow->makeKeyAndVisible();
  lumo::LumoSdk::openControlPage(std::string(sim::BackendSimulator::kDemoVin));
  std::shared_ptr<LumoControlPage> newer;
  ASSERT_TRUE(runUntil([&] {
    newer = presentedPage(secondRoot);
    return newer && newer->isCommandLoopRunning();
  }, Seconds(15)));
  std::int64_t olderFrames = older->rollCount();
  ASSERT_TRUE(runUntilInControl(newer));
  std::size_t from = frames.size();
  runFor(Seconds(2));
  EXPECT_EQ(older->rollCount(), olderFrames) << "the older page keeps building frames";
  EXPECT_FALSE(older->isCommandLoopRunning());
  // Every frame since is the newer page's: its ticks follow on one from the other, and none
  // carries the older page's forward press.
  ASSERT_GT(frames.size(), from + 5);
  for (std::size_t i = from + 1; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].tick, (frames[i - 1].tick + 1) & 0xFF) << "a frame from another page in between";
    EXPECT_EQ(frames[i].throttle, 0);
  }
  EXPECT_GE(newer->delayMs(), 0);
  EXPECT_LE(newer->delayMs(), 150);

  // The older page goes away: the newer session goes on, connected and driving.
  std::weak_ptr<LumoControlPage> gone = older;
  window->rootViewController()->dismiss(false);
  older.reset();
  runFor(Seconds(2));
  EXPECT_TRUE(gone.expired());
  EXPECT_TRUE(BluetoothUtil::isConnected());
  EXPECT_FALSE(newer->quitFlag());
  newer->onForwardSelect();
  runFor(Seconds(1));
  EXPECT_EQ(frames.back().throttle, 10);
  EXPECT_GT(std::abs(vehicle->model().speed()), 0.0);
}

// The authority watchdog belongs to each connection: a grant on an earlier link does not
// count for the next one.
TEST_F(BetweenStatesTest, AReconnectAfterAGrantMustBeGrantedAgainWithinFiveSeconds) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  runFor(Seconds(3));  // past the early-loss window, in which the link reconnects itself
  vehicle->setGrantDelay(Seconds(1000));
  vehicle->dropLink();
  ASSERT_TRUE(runUntil([&] { return isVisible("重新连接"); }));
  ASSERT_TRUE(tapText("重新连接"));
  ASSERT_TRUE(runUntil([&] { return page->isCommandLoopRunning(); }));
  clearSeen();
  runFor(Seconds(4.5));
  EXPECT_FALSE(saw("获取控制权限超时"));
  ASSERT_TRUE(runUntil([&] { return isVisible("获取控制权限超时"); }, Seconds(1)));
  EXPECT_FALSE(page->isCommandLoopRunning());
  EXPECT_FALSE(BluetoothUtil::isConnected());
}

}  // namespace
