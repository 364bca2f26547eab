// The control page as the user sees it in landscape, drawn by the platform renderer: waiting
// for control, in control, in a safety takeover, offering a retry and asking after
// inactivity. Each picture is checked (size, the dialog centred and inside the window, the
// red panel); with LUMO_SCREENSHOT_DIR set the pictures are kept there as PNG files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "lumosdk/utils/dialogs/DialogViewController.h"
#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/render/Renderer.h"
#include "tests/support/Screenshots.h"
#include "tests/control/ControlPageTest.h"

namespace {

using platform::dispatch::Seconds;
using lumo::test::keepScreenshot;
using platform::render::Bitmap;
using platform::ui::Color;
using platform::ui::Rect;

class ControlPageScreenshotTest : public lumo::test::ControlPageTest {
 protected:
  Bitmap shoot(const std::string& name) {
    Bitmap frame = renderer.render(*window);
    EXPECT_EQ(frame.width(), 844);
    EXPECT_EQ(frame.height(), 390);
    keepScreenshot(frame, sandboxDir(), name);
    return frame;
  }

  static int count(const Bitmap& frame, const Rect& r, bool (*test)(const Color&)) {
    int n = 0;
    for (int y = int(r.minY()); y < int(r.maxY()); ++y) {
      for (int x = int(r.minX()); x < int(r.maxX()); ++x) n += test(frame.pixelColor(x, y)) ? 1 : 0;
    }
    return n;
  }

  // The card of the dialog the page presents lies inside the window, centred.
  void expectDialogCentred(const std::shared_ptr<lumo::LumoControlPage>& page) {
    auto dialog = std::dynamic_pointer_cast<lumo::DialogViewController>(page->presentedViewController());
    ASSERT_NE(dialog, nullptr);
    auto card = dialog->containerView();
    ASSERT_NE(card, nullptr);
    Rect frame = card->convertRectTo(card->bounds(), nullptr);
    EXPECT_GE(frame.minY(), 0);
    EXPECT_LE(frame.maxY(), 390);
    EXPECT_NEAR(frame.center().x, 422, 1);
    EXPECT_NEAR(frame.center().y, 195, 1);
  }

  platform::render::Renderer renderer;
};

bool red(const Color& c) { return c.red > 0.8 && c.green < 0.4 && c.blue < 0.4; }
bool dark(const Color& c) { return c.red + c.green + c.blue < 1.2; }
bool white(const Color& c) { return c.red > 0.9 && c.green > 0.9 && c.blue > 0.9; }

TEST_F(ControlPageScreenshotTest, TheSessionInLandscape) {
  vehicle->setGrantDelay(Seconds(4));
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntil([&] { return waitDialogMessage() == std::optional<std::string>("已连接,正在请求控制权限"); }));
  runFor(Seconds(0.5));
  shoot("control-requesting");

  ASSERT_TRUE(runUntilInControl(page));
  vehicle->lag(120);
  runFor(Seconds(2));
  auto frame = shoot("control-in-control");
  auto delay = page->delayText();
  Rect delayRect = delay->convertRectTo(delay->bounds(), nullptr);
  EXPECT_GT(count(frame, delayRect, dark), 20) << "the delay is drawn";
  EXPECT_GE(page->delayMs(), 120);

  vehicle->takeOverForSafety();
  runFor(Seconds(0.5));
  frame = shoot("control-safety-takeover");
  auto panel = page->warningContainer();
  Rect panelRect = panel->convertRectTo(panel->bounds(), nullptr);
  EXPECT_GT(count(frame, panelRect, red), int(panelRect.width() * panelRect.height() * 0.5));
  EXPECT_GE(panelRect.minX(), 8);
  EXPECT_LE(panelRect.maxX(), 844 - 8);
  vehicle->releaseTakeover();

  runFor(Seconds(3));
  vehicle->dropLink();
  ASSERT_TRUE(runUntil([&] { return isVisible("设备已断开"); }, Seconds(5)));
  runFor(Seconds(0.5));
  expectDialogCentred(page);
  shoot("control-retry");
}

// A vehicle that grants control in drive mode 8 ("手机遥控"): the wait dialog goes with the
// grant, so the pads and the exit button are there to use, and the forward pad drives.
TEST_F(ControlPageScreenshotTest, AGrantInPhoneControlModeLeavesThePageFree) {
  vehicle->setGrantedDriveMode(sim::VehicleSimulator::phoneControl);
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  runFor(Seconds(1));
  EXPECT_EQ(waitDialogMessage(), std::nullopt);
  EXPECT_EQ(page->driveModeText()->text(), "手机遥控");
  window->touchDown(1, centreOf(*page->controlPadUp()));
  runFor(Seconds(1));
  EXPECT_EQ(frames.back().throttle, 10);
  auto frame = shoot("control-phone-mode");
  // No overlay dims the page: the exit button is drawn white, as without any dialog.
  auto exit = page->buttonExit();
  Rect exitRect = exit->convertRectTo(exit->bounds(), nullptr);
  EXPECT_GT(count(frame, exitRect, white), int(exitRect.width() * exitRect.height() * 0.5));
  window->touchUp(1, centreOf(*page->controlPadUp()));
}

TEST_F(ControlPageScreenshotTest, TheInactivityCountdownInLandscape) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  ASSERT_TRUE(runUntil([&] { return isVisible("遥控超时"); }, Seconds(35)));
  runFor(Seconds(3.2));
  expectDialogCentred(page);
  shoot("control-inactivity");
}

}  // namespace

namespace {

TEST_F(ControlPageScreenshotTest, TheBluetoothAlertAndAToastFitTheLandscapeWindow) {
  radio->setAdapterState(platform::ble::ManagerState::poweredOff);
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntil([&] { return isVisible("蓝牙未开启"); }, Seconds(10)));
  runFor(Seconds(0.5));
  auto alert = page->presentedViewController();
  ASSERT_NE(alert, nullptr);
  // Every visible part of the alert lies inside the window.
  std::function<void(const std::shared_ptr<platform::ui::View>&)> inside = [&](const auto& view) {
    if (view->isHidden()) return;
    Rect frame = view->convertRectTo(view->bounds(), nullptr);
    EXPECT_GE(frame.minY(), -0.5);
    EXPECT_LE(frame.maxY(), 390.5);
    for (const auto& child : view->subviews()) inside(child);
  };
  inside(alert->view());
  shoot("control-bluetooth-off");
  ASSERT_TRUE(tapText("取消"));
  ASSERT_TRUE(runUntil([&] { return isVisible("权限请求"); }, Seconds(5)));
  ASSERT_TRUE(tapText("退出"));
  ASSERT_TRUE(runUntil([&] { return waitDialogMessage() == std::optional<std::string>("权限被拒绝"); }));
  runFor(Seconds(0.2));
  shoot("control-leaving");
}

}  // namespace

namespace {

// Share of the pixels in `r` that differ between two pictures of the same size.
int differing(const Bitmap& a, const Bitmap& b, const Rect& r) {
  int n = 0;
  for (int y = int(r.minY()); y < int(r.maxY()); ++y) {
    for (int x = int(r.minX()); x < int(r.maxX()); ++x) {
      auto p = a.pixelColor(x, y), q = b.pixelColor(x, y);
      n += std::abs(p.red - q.red) + std::abs(p.green - q.green) + std::abs(p.blue - q.blue) > 0.1 ? 1 : 0;
    }
  }
  return n;
}

bool pressedBlue(const Color& c) { return c.red < 0.15 && c.green > 0.2 && c.green < 0.45 && c.blue > 0.7; }

Rect onScreen(const platform::ui::View& view) { return view.convertRectTo(view.bounds(), nullptr); }

TEST_F(ControlPageScreenshotTest, PadsWheelModeSwitchAndSwitchDialogsInLandscape) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  runFor(Seconds(0.5));
  Rect up = onScreen(*page->controlPadUp());
  auto idle = renderer.render(*window);

  window->touchDown(1, up.center());
  runFor(Seconds(0.2));
  auto pressed = shoot("control-key-pad-pressed");
  EXPECT_GT(count(pressed, up, pressedBlue), 20) << "the pressed pad is tinted";
  EXPECT_EQ(count(idle, up, pressedBlue), 0);
  window->touchUp(1, up.center());
  runFor(Seconds(0.2));

  // Halfway through the switch to the wheel both the pads and the wheel are partly drawn.
  auto keyMode = renderer.render(*window);
  Rect right = onScreen(*page->rightControlContainer());
  window->tap(onScreen(*page->keyModeSwitch()).center());
  ASSERT_TRUE(runUntil([&] { return !page->directionControlHelper()->keyMode(); }, Seconds(2)));
  runFor(Seconds(0.25));
  auto halfway = shoot("control-mode-animation");
  runFor(Seconds(1));
  auto wheelMode = renderer.render(*window);
  EXPECT_GT(differing(halfway, keyMode, right), 200);
  EXPECT_GT(differing(halfway, wheelMode, right), 200);
  EXPECT_GT(differing(keyMode, wheelMode, right), 200);

  auto wheel = onScreen(*page->steeringWheel()).center();
  window->touchDown(2, {wheel.x, wheel.y - 40});
  window->touchMove(2, {wheel.x + 40, wheel.y - 40});
  runFor(Seconds(0.2));
  EXPECT_NEAR(page->steeringWheel()->angle(), M_PI / 4, 1e-9);
  auto turned = shoot("control-wheel-turned");
  EXPECT_GT(differing(turned, wheelMode, right), 200) << "the wheel image is drawn turned";
  window->touchUp(2, {wheel.x + 40, wheel.y - 40});
  runFor(Seconds(0.2));

  // Safety off, then acceleration asked for: the page explains it will turn safety back on.
  window->tap(onScreen(*page->safetySwitch()).center());
  runFor(Seconds(0.3));
  ASSERT_TRUE(tapText("确定关闭"));
  runFor(Seconds(0.5));
  window->tap(onScreen(*page->accelSwitch()).center());
  runFor(Seconds(0.5));
  ASSERT_TRUE(isVisible("安全提示"));
  ASSERT_TRUE(isVisible("当前安全保护已关闭!加速模式下需要启用安全功能, 确定后将会帮您自动打开"));
  expectDialogCentred(page);
  shoot("control-acceleration-dialog");
  ASSERT_TRUE(tapText("确定"));
  runFor(Seconds(0.5));

  // In acceleration mode switching safety off is refused.
  window->tap(onScreen(*page->safetySwitch()).center());
  runFor(Seconds(0.5));
  ASSERT_TRUE(isVisible("当前模式下不支持关闭安全功能"));
  expectDialogCentred(page);
  shoot("control-safety-refused");
  ASSERT_TRUE(tapText("确定"));
}

}  // namespace
