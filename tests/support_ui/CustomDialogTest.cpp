#include <thread>

#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/dialogs/CustomDialogViewController.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;

class CustomDialogTest : public SupportUiTest {
 protected:
  // Shows a dialog over `context` and lets its fade-in finish.
  std::shared_ptr<CustomDialogViewController> show(std::optional<std::string> negativeText, bool cancelable,
                                                   ButtonLayout layout, std::optional<int> countdown,
                                                   std::shared_ptr<ViewController> context = nullptr,
                                                   std::string message = "确定打开货柜吗？") {
    if (!context) context = root;
    DialogUtil::showCustomDialog(context, "提示", std::move(message), nullptr, "确定", [this] { ++positive; },
                                 std::move(negativeText), [this] { ++negative; }, true, cancelable, layout, countdown);
    runFor(milliseconds(400));
    return std::dynamic_pointer_cast<CustomDialogViewController>(context->presentedViewController());
  }
  // Where a view sits in window coordinates.
  static Rect onScreen(const std::shared_ptr<View>& view) { return view->convertRectTo(view->bounds(), nullptr); }

  int positive = 0;
  int negative = 0;
};

TEST_F(CustomDialogTest, CountdownReadsEachSecondAndConfirmsOnceAfterDismissal) {
  DialogUtil::showCustomDialog(root, "提示", "即将自动确认", nullptr, "确定", [this] { ++positive; }, "取消",
                               [this] { ++negative; }, false, false, ButtonLayout::horizontal, 3);
  std::vector<std::string> readings;
  std::shared_ptr<CustomDialogViewController> dialog;
  for (int half = 0; half < 6; ++half) {
    runFor(milliseconds(500));
    if (!dialog) dialog = std::dynamic_pointer_cast<CustomDialogViewController>(root->presentedViewController());
    ASSERT_NE(dialog, nullptr);
    if (readings.empty() || readings.back() != dialog->countdownLabel()->text()) {
      readings.push_back(dialog->countdownLabel()->text());
    }
  }
  EXPECT_EQ(readings, (std::vector<std::string>{"3秒", "2秒", "1秒", "0秒"}));
  // At 0秒 the dialog fades out; the callback waits for the fade to end.
  EXPECT_TRUE(dialog->isFinishing());
  EXPECT_FALSE(dialog->isCountingDown());
  EXPECT_EQ(positive, 0);
  runFor(milliseconds(300));
  EXPECT_EQ(positive, 1);
  EXPECT_EQ(negative, 0);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  dialog.reset();
  runFor(std::chrono::seconds(5));
  EXPECT_EQ(positive, 1);
  EXPECT_TRUE(consoleHas("CustomDialogViewController deinit"));
}

TEST_F(CustomDialogTest, AButtonTapStopsTheCountdownAndRunsOnlyItsCallback) {
  auto dialog = show("取消", false, ButtonLayout::horizontal, 5);
  ASSERT_NE(dialog, nullptr);
  runFor(milliseconds(1100));
  EXPECT_EQ(dialog->countdownLabel()->text(), "4秒");
  tapView(dialog->positiveButton());
  tapView(dialog->negativeButton());  // too late: the dialog is already on its way out
  EXPECT_FALSE(dialog->isCountingDown());
  runFor(std::chrono::seconds(10));
  EXPECT_EQ(positive, 1);
  EXPECT_EQ(negative, 0);
  EXPECT_EQ(dialog->countdownLabel()->text(), "4秒");

  auto second = show("取消", false, ButtonLayout::vertical, std::nullopt);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->countdownLabel()->isHidden());
  tapView(second->negativeButton());
  EXPECT_EQ(negative, 0);  // only after the fade-out
  runFor(milliseconds(400));
  EXPECT_EQ(negative, 1);
  EXPECT_EQ(positive, 1);
}

TEST_F(CustomDialogTest, ButtonsFollowTheLayoutAndASingleButtonIsCentred) {
  for (const auto& missing : {std::optional<std::string>{}, std::optional<std::string>{""}}) {
    auto single = show(missing, false, ButtonLayout::horizontal, std::nullopt);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->negativeButton(), nullptr);
    Rect button = onScreen(single->positiveButton());
    Rect card = onScreen(single->containerView());
    EXPECT_DOUBLE_EQ(button.width(), 120);
    EXPECT_DOUBLE_EQ(button.midX(), card.midX());
    tapView(single->positiveButton());
    runFor(milliseconds(400));
  }
  EXPECT_EQ(positive, 2);

  auto sideBySide = show("取消", false, ButtonLayout::horizontal, std::nullopt);
  Rect yes = onScreen(sideBySide->positiveButton()), no = onScreen(sideBySide->negativeButton());
  EXPECT_DOUBLE_EQ(yes.width(), no.width());
  EXPECT_DOUBLE_EQ(yes.minY(), no.minY());
  EXPECT_DOUBLE_EQ(yes.minX() - no.maxX(), 16);
  EXPECT_DOUBLE_EQ(onScreen(sideBySide->containerView()).width(), 300);
  ASSERT_NE(sideBySide->iconView(), nullptr);  // the warning symbol
  EXPECT_EQ(sideBySide->iconView()->image()->symbolName(), "exclamationmark.triangle.fill");
  sideBySide->dismiss(false);
  runFor(milliseconds(1));

  auto stacked = show("取消", false, ButtonLayout::vertical, std::nullopt);
  yes = onScreen(stacked->positiveButton());
  no = onScreen(stacked->negativeButton());
  EXPECT_DOUBLE_EQ(no.minY() - yes.maxY(), 12);
  EXPECT_DOUBLE_EQ(yes.width(), 300 - 32);
  EXPECT_TRUE(onScreen(stacked->containerView()).contains(no.center()));
}

TEST_F(CustomDialogTest, BackgroundTapsDismissOnlyWhenCancelableAndOnlyOnTheDimmedBackground) {
  auto fixed = show("取消", false, ButtonLayout::horizontal, std::nullopt);
  window->tap({10, 10});
  runFor(milliseconds(400));
  EXPECT_EQ(root->presentedViewController(), fixed);
  fixed->dismiss(false);
  runFor(milliseconds(1));

  std::weak_ptr<CustomDialogViewController> weakDialog = show("取消", true, ButtonLayout::horizontal, 5);
  auto cancelable = weakDialog.lock();
  ASSERT_NE(cancelable, nullptr);
  tapView(cancelable->containerView());   // the card
  tapView(cancelable->titleLabel());      // its contents
  runFor(milliseconds(400));
  EXPECT_EQ(root->presentedViewController(), cancelable);
  window->tap({10, 10});
  cancelable.reset();
  runFor(milliseconds(400));
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_TRUE(weakDialog.expired());  // released, its countdown with it
  runFor(std::chrono::seconds(6));
  EXPECT_EQ(positive, 0);
  EXPECT_EQ(negative, 0);
}

TEST_F(CustomDialogTest, AContextOffScreenIsRefusedWithItsConsoleLineAndNoCallback) {
  auto offScreen = ViewController::make();
  offScreen->view();  // loaded but in no window
  DialogUtil::showCustomDialog(offScreen, std::nullopt, "x", nullptr, "确定", [this] { ++positive; }, std::nullopt,
                               nullptr, false, true, ButtonLayout::horizontal, 0);
  DialogUtil::showCustomDialog(nullptr, std::nullopt, "x", nullptr, "确定", [this] { ++positive; }, std::nullopt,
                               nullptr, false, true, ButtonLayout::horizontal, 0);
  DialogUtil::showCountdownDialog(ViewController::make(), "t", "m", 1, "好", [this] { ++positive; }, "不",
                                  [this] { ++negative; });
  runFor(std::chrono::seconds(3));
  EXPECT_EQ(consoleCount("DialogUtil: 无法显示对话框，视图控制器不在视图层次结构中"), 2u);
  EXPECT_EQ(consoleCount("DialogUtil: 无法显示倒计时对话框，视图控制器不在视图层次结构中"), 1u);
  EXPECT_EQ(offScreen->presentedViewController(), nullptr);
  EXPECT_EQ(positive + negative, 0);
}

TEST_F(CustomDialogTest, RequestsFromAnyThreadArriveInOrderOnTheMainThread) {
  std::vector<bool> onMain;
  std::thread caller([&] {
    DialogUtil::showCustomDialog(root, "提示", "来自后台线程", nullptr, "确定",
                                 [&] { onMain.push_back(platform::dispatch::MainLoop::isMainThread()); },
                                 std::nullopt, nullptr, false, false, ButtonLayout::horizontal, 0);
  });
  caller.join();
  runFor(milliseconds(400));
  auto dialog = std::dynamic_pointer_cast<CustomDialogViewController>(root->presentedViewController());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->countdownLabel()->text(), "0秒");
  EXPECT_TRUE(consoleHas("DialogUtil:[DialogUtil] A将在 ViewController 上 present CustomDialogViewController, "
                         "context orient = 26, dialog orient = 26"));
  // A countdown of 0 confirms at the first tick.
  runFor(milliseconds(1000));
  EXPECT_EQ(onMain, std::vector<bool>{true});
}

TEST_F(CustomDialogTest, APresenterLeavingMidAnimationTakesTheDialogAlongQuietly) {
  auto page = ViewController::make();
  root->present(page, false);
  runFor(milliseconds(1));
  DialogUtil::showCustomDialog(page, "提示", "消息", nullptr, "确定", [this] { ++positive; }, "取消",
                               [this] { ++negative; }, false, true, ButtonLayout::horizontal, 1);
  runFor(milliseconds(100));  // the dialog is still fading in
  ASSERT_NE(std::dynamic_pointer_cast<CustomDialogViewController>(page->presentedViewController()), nullptr);
  root->dismiss(true);  // the host closes the page (a dismiss on the page would close its dialog)
  runFor(std::chrono::seconds(3));
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_TRUE(consoleHas("CustomDialogViewController deinit"));
  EXPECT_EQ(positive + negative, 0);
}

TEST_F(CustomDialogTest, AnEndlessMessageLeavesTheButtonsOnScreen) {
  std::string endless;
  for (int i = 0; i < 3000; ++i) endless += "很长的消息";
  auto dialog = show("取消", false, ButtonLayout::vertical, 9, root, endless);
  ASSERT_NE(dialog, nullptr);
  Rect screen = window->bounds();
  Rect card = onScreen(dialog->containerView());
  EXPECT_GE(card.minY(), 0);
  EXPECT_LE(card.maxY(), screen.maxY());
  EXPECT_TRUE(screen.contains(onScreen(dialog->negativeButton()).center()));
  tapView(dialog->negativeButton());
  runFor(milliseconds(400));
  EXPECT_EQ(negative, 1);

  auto empty = show("取消", false, ButtonLayout::horizontal, std::nullopt, root, "");
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->messageLabel()->isHidden());
}

TEST_F(CustomDialogTest, OrientationFollowsThePresenterWhileAttached) {
  class LandscapePage : public ViewController {
   public:
    InterfaceOrientationMask supportedInterfaceOrientations() const override { return OrientationMask::landscape; }
  };
  auto page = std::make_shared<LandscapePage>();
  root->present(page, false);
  runFor(milliseconds(1));
  auto dialog = show("取消", false, ButtonLayout::horizontal, std::nullopt, page);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->forcedOrientMask(), OrientationMask::landscape);
  EXPECT_EQ(dialog->supportedInterfaceOrientations(), OrientationMask::landscape);
  dialog->dismiss(false);
  runFor(milliseconds(1));
  // Detached: the mask copied at show time, unless it is plain portrait.
  EXPECT_EQ(dialog->supportedInterfaceOrientations(), OrientationMask::landscape);
  dialog->setForcedOrientMask(OrientationMask::portrait);
  EXPECT_EQ(dialog->supportedInterfaceOrientations(), root->supportedInterfaceOrientations());
}

}  // namespace
}  // namespace lumo::test
