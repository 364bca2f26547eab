#include <gtest/gtest.h>

#include "platform/ui/AlertController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;
using Journal = std::vector<std::string>;

using PresentationTest = UiTest;

TEST_F(PresentationTest, FullScreenPresentationAndDismissalRunTheEntriesInOrder) {
  auto root = controller("root");
  show(root);
  auto page = controller("page");
  page->setModalPresentationStyle(ModalPresentationStyle::fullScreen);
  root->present(page, true, [&] { journal->push_back("presented"); });
  EXPECT_TRUE(page->isBeingPresented());
  EXPECT_EQ(*journal, (Journal{"page.didLoad", "page.willAppear", "root.willDisappear"}));
  runFor(milliseconds(150));
  EXPECT_NEAR(page->view()->presentationFrame().minY(), 422, 60);  // sliding up, about half way
  runFor(milliseconds(150));
  EXPECT_EQ(*journal, (Journal{"page.didLoad", "page.willAppear", "root.willDisappear", "page.didAppear",
                               "root.didDisappear", "presented"}));
  EXPECT_EQ(root->presentedViewController(), page);
  EXPECT_EQ(page->presentingViewController(), root);
  // Full screen takes the presenting view out of the window.
  EXPECT_EQ(root->view()->window(), nullptr);
  EXPECT_EQ(page->view()->window(), window);

  journal->clear();
  page->dismiss(true, [&] { journal->push_back("dismissed"); });
  EXPECT_TRUE(page->isBeingDismissed());
  EXPECT_EQ(root->view()->window(), window);
  runFor(milliseconds(300));
  EXPECT_EQ(*journal, (Journal{"root.willAppear", "page.willDisappear", "page.didDisappear", "root.didAppear",
                               "dismissed"}));
  EXPECT_FALSE(page->isBeingDismissed());
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(page->presentingViewController(), nullptr);
  EXPECT_EQ(page->view()->window(), nullptr);
}

TEST_F(PresentationTest, OverFullScreenCrossDissolveLeavesThePresenterOnScreen) {
  auto root = controller("root");
  show(root);
  auto dialog = controller("dialog");
  dialog->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
  dialog->setModalTransitionStyle(ModalTransitionStyle::crossDissolve);
  root->present(dialog, true);
  runFor(milliseconds(150));
  EXPECT_GT(dialog->view()->presentationAlpha(), 0.2);
  EXPECT_LT(dialog->view()->presentationAlpha(), 0.8);
  runFor(milliseconds(150));
  EXPECT_EQ(*journal, (Journal{"dialog.didLoad", "dialog.willAppear", "dialog.didAppear"}));
  EXPECT_EQ(root->view()->window(), window);
  // The presenter's view stays below the dialog's.
  EXPECT_EQ(window->subviews().back(), dialog->view());
}

TEST_F(PresentationTest, DismissalRequestedMidTransitionWaitsAndASecondOneIsIgnored) {
  auto root = controller("root");
  show(root);
  auto page = controller("page");
  std::vector<std::string> order;
  root->present(page, true, [&] { order.push_back("presented"); });
  runFor(milliseconds(100));
  page->dismiss(true, [&] { order.push_back("dismissed"); });
  page->dismiss(true, [&] { order.push_back("dismissed twice"); });
  EXPECT_FALSE(page->isBeingDismissed());  // still being presented
  runFor(milliseconds(200));
  EXPECT_EQ(order, (std::vector<std::string>{"presented"}));
  EXPECT_TRUE(page->isBeingDismissed());
  runFor(milliseconds(300));
  EXPECT_EQ(order, (std::vector<std::string>{"presented", "dismissed"}));
  runFor(std::chrono::seconds(1));
  EXPECT_EQ(order.size(), 2u);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(window->subviews().size(), 1u);
}

TEST_F(PresentationTest, RefusedPresentationsWriteALineAndRunNoCompletion) {
  auto root = controller("root");
  show(root);
  auto offscreen = controller("offscreen");
  bool ran = false;
  offscreen->present(controller("x"), false, [&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_TRUE(consoleHas("Attempt to present JournalController on JournalController whose view is not in the "
                         "window hierarchy."));
  auto first = controller("first");
  root->present(first, false);
  root->present(controller("second"), false, [&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_EQ(root->presentedViewController(), first);
  // Presenting from the top of the chain works, and dismissing the root's presented takes all.
  auto second = controller("second");
  first->present(second, false);
  EXPECT_EQ(first->presentedViewController(), second);
  root->dismiss(false);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(first->presentedViewController(), nullptr);
  EXPECT_EQ(second->view()->window(), nullptr);
  EXPECT_EQ(window->subviews().size(), 1u);
}

TEST_F(PresentationTest, NavigationPushAndPopSendEntriesToTheTopOnly) {
  auto home = controller("home");
  auto nav = NavigationController::make(home);
  show(nav);
  EXPECT_EQ(nav->topViewController(), home);
  auto detail = controller("detail");
  nav->pushViewController(detail, true);
  // A pop asked for during the push waits for it.
  auto popped = nav->popViewController(true);
  EXPECT_EQ(popped, detail);
  EXPECT_EQ(*journal, (Journal{"detail.didLoad", "home.willDisappear", "detail.willAppear"}));
  runFor(milliseconds(350));
  EXPECT_EQ(detail->navigationController(), nav);
  runFor(milliseconds(350));
  EXPECT_EQ(*journal, (Journal{"detail.didLoad", "home.willDisappear", "detail.willAppear", "home.didDisappear",
                               "detail.didAppear", "detail.willDisappear", "home.willAppear", "detail.didDisappear",
                               "home.didAppear"}));
  EXPECT_EQ(nav->viewControllers().size(), 1u);
  EXPECT_EQ(detail->parent(), nullptr);
  EXPECT_EQ(nav->popViewController(true), nullptr);  // the root stays

  nav->setNavigationBarHidden(true, false);
  EXPECT_EQ(home->view()->frame().minY(), 0);
  nav->setNavigationBarHidden(false, false);
  EXPECT_EQ(home->view()->frame().minY(), NavigationController::kBarHeight);
}

TEST_F(PresentationTest, ChildrenOfAPresentedNavigationControllerAnswerForIt) {
  auto root = controller("root");
  show(root);
  auto page = controller("page");
  auto nav = NavigationController::make(page);
  nav->setModalPresentationStyle(ModalPresentationStyle::fullScreen);
  root->present(nav, false);
  EXPECT_EQ(page->presentingViewController(), root);
  EXPECT_EQ(nav->visibleViewController(), page);
  // A controller presented from the child is presented by the navigation controller.
  auto dialog = controller("dialog");
  dialog->setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
  page->present(dialog, false);
  EXPECT_EQ(nav->presentedViewController(), dialog);
  EXPECT_EQ(nav->visibleViewController(), dialog);
  EXPECT_EQ(dialog->presentingViewController(), nav);
  dialog->dismiss(false);
  // The child dismisses the navigation controller it is inside.
  page->dismiss(true);
  EXPECT_TRUE(page->isBeingDismissed());
  runFor(milliseconds(300));
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

TEST_F(PresentationTest, TabBarSwapsTheSelectedChild) {
  auto tabs = TabBarController::make();
  auto a = controller("a"), b = controller("b");
  a->setTitle("A");
  b->setTitle("B");
  tabs->setViewControllers({a, b});
  show(tabs);
  EXPECT_EQ(tabs->selectedViewController(), a);
  window->layoutIfNeeded();
  // Tapping the second bar item (right half of the bar) selects it.
  window->tap({300, 844 - 20});
  EXPECT_EQ(tabs->selectedIndex(), 1u);
  EXPECT_EQ(*journal, (Journal{"a.willDisappear", "b.didLoad", "b.willAppear", "a.didDisappear", "b.didAppear"}));
  EXPECT_EQ(a->view()->window(), nullptr);
  EXPECT_EQ(b->view()->window(), window);
}

TEST_F(PresentationTest, AlertRunsTheTappedActionAfterItIsDismissed) {
  auto root = controller("root");
  show(root);
  auto alert = AlertController::make("提示", "SDK初始化成功");
  std::vector<std::string> order;
  alert->addAction({"取消", AlertAction::Style::cancel, [&](const AlertAction& a) { order.push_back(a.title); }});
  alert->addAction({"确定", AlertAction::Style::defaultStyle, [&](const AlertAction& a) { order.push_back(a.title); }});
  alert->addAction({"again", AlertAction::Style::cancel, nullptr});  // a second cancel is refused
  EXPECT_EQ(alert->actions().size(), 2u);
  root->present(alert, true);
  runFor(milliseconds(300));
  ASSERT_EQ(alert->actionButtons().size(), 2u);
  EXPECT_EQ(alert->actionButtons()[0]->title(), "确定");  // the cancel action sits last
  window->layoutIfNeeded();
  auto button = alert->actionButtons()[0];
  Point centre = button->convertPointTo({button->bounds().midX(), button->bounds().midY()}, nullptr);
  window->tap(centre);
  window->tap(centre);  // a second tap during the fade does nothing
  EXPECT_TRUE(order.empty());
  EXPECT_TRUE(alert->isBeingDismissed());
  runFor(milliseconds(300));
  EXPECT_EQ(order, (std::vector<std::string>{"确定"}));
  EXPECT_EQ(root->presentedViewController(), nullptr);
}

}  // namespace
}  // namespace lumo::test
