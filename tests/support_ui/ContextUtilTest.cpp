#include "lumosdk/utils/ContextUtil.h"

#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;

class NamedController : public ViewController {};
class OtherController : public ViewController {};

class ContextUtilTest : public SupportUiTest {
 protected:
  std::shared_ptr<Window> extraWindow(const std::shared_ptr<WindowScene>& on) {
    auto made = Window::make(on);
    made->setRootViewController(ViewController::make());
    made->setHidden(false);
    return made;
  }
};

TEST_F(ContextUtilTest, ChoosesTheKeyUsableWindowAndSkipsUnusableOnes) {
  auto second = extraWindow(scene);
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), window);
  second->makeKey();
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), second);
  EXPECT_EQ(ContextUtil::getTopViewController(), second->rootViewController());
  EXPECT_TRUE(consoleHas("ContextUtil:[ContextUtil] candidateWindows.count = 2"));
  EXPECT_TRUE(consoleHas("ContextUtil:[ContextUtil] filteredWindows.count = 2"));

  // A key window at alert level, hidden, transparent or without a root is never chosen:
  // the first usable window is.
  second->setWindowLevel(Window::kLevelAlert);
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), window);
  second->setWindowLevel(Window::kLevelNormal);
  second->setAlpha(0);
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), window);
  second->setAlpha(1);
  second->setRootViewController(nullptr);
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), window);

  window->setHidden(true);
  clearRecordedLines();
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), nullptr);
  EXPECT_TRUE(consoleHas("LoadingUtil:[LoadingUtil] obtainActiveWindow 未找到可用窗口"));
  EXPECT_EQ(ContextUtil::getTopViewController(), nullptr);
  EXPECT_TRUE(consoleHas("ContextUtil:[ContextUtil] filteredWindows.count = 0"));
  EXPECT_TRUE(consoleHas("ContextUtil:[ContextUtil] 未找到可用的 UIWindow"));
}

TEST_F(ContextUtilTest, FallsBackToTheApplicationWindowsWithoutAnActiveScene) {
  scene->setActivationState(WindowScene::ActivationState::background);
  auto other = Application::shared().connectScene();
  other->setActivationState(WindowScene::ActivationState::foregroundInactive);
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), window);

  // An active scene without windows does not count either.
  auto empty = Application::shared().connectScene();
  EXPECT_EQ(empty->activationState(), WindowScene::ActivationState::foregroundActive);
  EXPECT_EQ(ContextUtil::getCurrentContext(), root);

  // Once an active scene has a window, only its windows are candidates.
  auto activeWindow = extraWindow(empty);
  EXPECT_EQ(LoadingUtil::obtainActiveWindow(), activeWindow);
}

TEST_F(ContextUtilTest, DescendsThroughPresentationsTabsAndNavigation) {
  auto a = std::make_shared<NamedController>();
  auto b = std::make_shared<OtherController>();
  root->present(a, false);
  a->present(b, false);
  runFor(std::chrono::milliseconds(1));
  EXPECT_EQ(ContextUtil::getTopViewController(), b);
  EXPECT_TRUE(consoleHas("ContextUtil:[ContextUtil] 返回的 VC: OtherController"));
  b->dismiss(false);
  runFor(std::chrono::milliseconds(1));

  // A presented navigation controller answers with its visible controller, which is what
  // it presents itself when it does.
  auto pageOne = ViewController::make();
  auto pageTwo = std::make_shared<NamedController>();
  auto navigation = NavigationController::make(pageOne);
  navigation->pushViewController(pageTwo, false);
  a->present(navigation, false);
  runFor(std::chrono::milliseconds(1));
  EXPECT_EQ(ContextUtil::getTopViewController(), pageTwo);

  // A tab bar at the root: the selected tab, and inside it the navigation stack's top.
  auto tabs = TabBarController::make();
  auto firstTab = ViewController::make();
  auto stackTop = std::make_shared<OtherController>();
  auto stack = NavigationController::make(ViewController::make());
  stack->pushViewController(stackTop, false);
  tabs->setViewControllers({firstTab, stack});
  window->setRootViewController(tabs);
  runFor(std::chrono::milliseconds(1));
  EXPECT_EQ(ContextUtil::getTopViewController(), firstTab);
  tabs->setSelectedIndex(1);
  EXPECT_EQ(ContextUtil::getTopViewController(), stackTop);
}

}  // namespace
}  // namespace lumo::test
