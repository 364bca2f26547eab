// The control page as the user sees it in landscape, drawn by the platform renderer: waiting
// for control, in control, in a safety takeover, offering a retry and asking after
// inactivity. Each picture is checked (size, the dialog centred and inside the window, the
// red panel); with LUMO_SCREENSHOT_DIR set the pictures are kept there as PNG files.

#include <gtest/gtest.h>

#include <cstdlib>

#include "lumosdk/utils/dialogs/DialogViewController.h"
#include "platform/render/Renderer.h"
#include "tests/control/ControlPageTest.h"

namespace {

using platform::dispatch::Seconds;
using platform::render::Bitmap;
using platform::ui::Color;
using platform::ui::Rect;

class ControlPageScreenshotTest : public lumo::test::ControlPageTest {
 protected:
  Bitmap shoot(const std::string& name) {
    Bitmap frame = renderer.render(*window);
    EXPECT_EQ(frame.width(), 844);
    EXPECT_EQ(frame.height(), 390);
    EXPECT_TRUE(frame.writePng(sandboxDir() / (name + ".png")));
    if (const char* dir = std::getenv("LUMO_SCREENSHOT_DIR")) {
      EXPECT_TRUE(frame.writePng(std::filesystem::path(dir) / (name + ".png")));
    }
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
