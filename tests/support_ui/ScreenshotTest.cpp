#include <cstdlib>
#include <functional>

#include "lumosdk/utils/BluetoothAlertFlow.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/dialogs/CountdownDialogViewController.h"
#include "lumosdk/utils/dialogs/CustomDialogViewController.h"
#include "platform/render/Renderer.h"
#include "platform/ui/AlertController.h"
#include "tests/support/Screenshots.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::ble::ManagerState;
using platform::render::Bitmap;
using platform::render::Renderer;
using std::chrono::milliseconds;

using PixelTest = std::function<bool(const Color&)>;

bool light(const Color& c) { return c.red + c.green + c.blue > 2.4; }
bool dark(const Color& c) { return c.red + c.green + c.blue < 1.2; }
bool reddish(const Color& c) { return c.red > 0.6 && c.green < 0.45 && c.blue < 0.45; }

// Renders the window of each scene, checks it and, when LUMO_SCREENSHOT_DIR is set, keeps
// it there as a PNG (the pictures under docs/screenshots come from here).
class ScreenshotTest : public SupportUiTest {
 protected:
  void SetUp() override {
    SupportUiTest::SetUp();
    root->view()->setBackgroundColor(Color::rgb255(226, 232, 240));
    auto heading = Label::make({20, 80, 350, 40});
    heading->setText("宿主应用首页");
    heading->setFont(Font::boldSystemFont(24));
    root->view()->addSubview(heading);
  }

  Bitmap shoot(const std::string& name) {
    Bitmap frame = renderer.render(*window);
    EXPECT_EQ(frame.width(), 390);
    EXPECT_EQ(frame.height(), 844);
    keepScreenshot(frame, sandboxDir(), name);
    return frame;
  }

  static Rect onScreen(const View& view) { return view.convertRectTo(view.bounds(), nullptr); }

  static int count(const Bitmap& frame, const Rect& r, const PixelTest& test) {
    int n = 0;
    for (int y = int(r.minY()); y < int(r.maxY()); ++y) {
      for (int x = int(r.minX()); x < int(r.maxX()); ++x) n += test(frame.pixelColor(x, y)) ? 1 : 0;
    }
    return n;
  }

  // Glyph pixels inside the label's own frame, and a frame that is not all glyph.
  static void expectText(const Bitmap& frame, const Label& label, const PixelTest& glyph, int atLeast = 20) {
    Rect box = onScreen(label);
    int ink = count(frame, box, glyph);
    EXPECT_GE(ink, atLeast) << "no glyphs for \"" << label.text() << "\"";
    EXPECT_LT(ink, int(box.width() * box.height() * 0.6)) << "\"" << label.text() << "\" is a solid block";
  }

  static bool near(const Color& c, const Color& want, double tolerance = 0.04) {
    return std::abs(c.red - want.red) < tolerance && std::abs(c.green - want.green) < tolerance &&
           std::abs(c.blue - want.blue) < tolerance;
  }

  Renderer renderer;
};

TEST_F(ScreenshotTest, LoadingOverlayAndToast) {
  LoadingUtil::show("加载中...");
  runFor(milliseconds(100));
  Bitmap overlay = shoot("loading-overlay");
  auto label = LoadingUtil::messageLabel();
  ASSERT_NE(label, nullptr);
  expectText(overlay, *label, light);
  // The box: white level 0.2 at 0.8 over the dimmed host.
  Rect box = onScreen(*label->superview());
  Color under = Color::rgb255(113, 116, 120);  // the host's background at half black
  Color expected = Color::interpolate(under, Color::white(0.2), 0.8);
  EXPECT_TRUE(near(overlay.pixelColor(int(box.minX()) + 6, int(box.maxY()) - 6), expected));
  // Outside the box: the host darkened by half.
  EXPECT_TRUE(near(overlay.pixelColor(10, 600), under));
  LoadingUtil::dismiss();

  DialogUtil::showToast("开柜指令已发送");
  runFor(milliseconds(600));
  Bitmap toastFrame = shoot("toast");
  auto toast = window->subviews().back();
  auto text = labelWithText(toast, "开柜指令已发送");
  ASSERT_NE(text, nullptr);
  expectText(toastFrame, *text, light);
  Rect pill = onScreen(*toast);
  Color pillColor = Color::interpolate(Color::rgb255(226, 232, 240), Color::black(), 0.7);
  EXPECT_TRUE(near(toastFrame.pixelColor(int(pill.minX()) + 4, int(pill.midY())), pillColor));
}

TEST_F(ScreenshotTest, TwoButtonAndCountdownDialogs) {
  DialogUtil::showCustomDialog(root, "开柜确认", "确定要打开车辆的货柜吗？", nullptr, "确定", nullptr, "取消", nullptr, true,
                               false, ButtonLayout::horizontal, std::nullopt);
  runFor(milliseconds(400));
  auto dialog = std::dynamic_pointer_cast<CustomDialogViewController>(root->presentedViewController());
  ASSERT_NE(dialog, nullptr);
  Bitmap twoButtons = shoot("dialog-two-buttons");
  expectText(twoButtons, *dialog->titleLabel(), dark);
  expectText(twoButtons, *dialog->messageLabel(), dark);
  expectText(twoButtons, *dialog->positiveButton()->titleLabel(), light);
  Rect card = onScreen(*dialog->containerView());
  EXPECT_TRUE(near(twoButtons.pixelColor(int(card.midX()), int(card.minY()) + 6), Color::white()));
  EXPECT_TRUE(near(twoButtons.pixelColor(int(card.minX()) + 6, int(card.midY())), Color::white()));
  Rect yes = onScreen(*dialog->positiveButton());
  EXPECT_TRUE(near(twoButtons.pixelColor(int(yes.minX()) + 6, int(yes.midY())), Color::rgb255(16, 54, 132)));
  // The orange warning symbol above the title.
  Rect icon = onScreen(*dialog->iconView());
  EXPECT_GT(count(twoButtons, icon, [](const Color& c) { return c.red > 0.8 && c.green > 0.4 && c.blue < 0.3; }), 20);
  dialog->dismiss(false);
  runFor(milliseconds(1));

  DialogUtil::showCountdownDialog(root, "接管提醒", "车辆将在倒计时结束后自动接管", 5, "立即接管", nullptr, "稍后",
                                  nullptr);
  runFor(milliseconds(1400));
  auto countdown = std::dynamic_pointer_cast<CountdownDialogViewController>(root->presentedViewController());
  ASSERT_NE(countdown, nullptr);
  Bitmap countdownFrame = shoot("dialog-countdown");
  EXPECT_EQ(countdown->countdownLabel()->text(), "4秒");
  expectText(countdownFrame, *countdown->countdownLabel(), reddish);
  expectText(countdownFrame, *countdown->titleLabel(), dark);
  Rect countdownCard = onScreen(*countdown->containerView());
  EXPECT_TRUE(near(countdownFrame.pixelColor(int(countdownCard.minX()) + 6, int(countdownCard.midY())), Color::white()));
}

TEST_F(ScreenshotTest, EachBluetoothAlert) {
  BluetoothAlertFlow::install();
  struct Case {
    ManagerState adapter;
    std::string file;
    std::string title;
  };
  const std::vector<Case> cases = {{ManagerState::unauthorized, "bluetooth-permission-denied", "权限请求"},
                                   {ManagerState::poweredOff, "bluetooth-off", "蓝牙未开启"},
                                   {ManagerState::unsupported, "bluetooth-unsupported", "不支持蓝牙"},
                                   {static_cast<ManagerState>(7), "bluetooth-error", "蓝牙状态"}};
  BluetoothUtil::stateManager();
  for (const auto& scene : cases) {
    radio->setAdapterState(scene.adapter);
    runFor(milliseconds(1));
    BluetoothUtil::checkAndRequestPermissions(root, nullptr);
    runFor(milliseconds(400));
    auto alert = std::dynamic_pointer_cast<AlertController>(root->presentedViewController());
    ASSERT_NE(alert, nullptr) << scene.file;
    Bitmap frame = shoot(scene.file);
    auto title = labelWithText(alert->view(), scene.title);
    ASSERT_NE(title, nullptr) << scene.file;
    expectText(frame, *title, dark);
    auto message = labelWithText(alert->view(), alert->message());
    ASSERT_NE(message, nullptr) << scene.file;
    expectText(frame, *message, dark);
    Rect card = onScreen(*title->superview());
    EXPECT_TRUE(near(frame.pixelColor(int(card.minX()) + 4, int(card.midY())), Color::white(0.97))) << scene.file;
    for (const auto& button : alert->actionButtons()) expectText(frame, *button->titleLabel(), [](const Color& c) {
      return c.blue > 0.6 && c.red < 0.4;  // the system tint on the card
    });
    tapView(alert->actionButtons().back());
    runFor(milliseconds(400));
    ASSERT_FALSE(BluetoothUtil::isPermissionDialogShowing());
  }
}

}  // namespace
}  // namespace lumo::test
