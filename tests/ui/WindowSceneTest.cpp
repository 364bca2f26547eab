#include <gtest/gtest.h>

#include "platform/foundation/NotificationCenter.h"
#include "platform/render/Renderer.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::foundation::NotificationCenter;

using WindowSceneTest = UiTest;

TEST_F(WindowSceneTest, OneKeyWindowAndHidingItPassesKeyToAVisibleSibling) {
  auto second = Window::make(scene);
  auto alert = Window::make(scene);
  alert->setWindowLevel(Window::kLevelAlert);
  window->makeKeyAndVisible();
  second->makeKeyAndVisible();
  EXPECT_TRUE(second->isKeyWindow());
  EXPECT_FALSE(window->isKeyWindow());
  EXPECT_EQ(scene->keyWindow(), second);
  EXPECT_EQ(Application::shared().windows().size(), 3u);
  second->setHidden(true);
  // The hidden alert window cannot take key status; the visible first window does.
  EXPECT_TRUE(window->isKeyWindow());
  window->setHidden(true);
  EXPECT_EQ(Application::shared().keyWindow(), nullptr);
  // Windows go away with their last owner.
  second.reset();
  alert.reset();
  EXPECT_EQ(scene->windows().size(), 1u);
}

TEST_F(WindowSceneTest, RootControllerAppearsWithItsWindowAndAWindowWithoutOneIsHarmless) {
  // No root controller: layout, touches and drawing all work on the bare window.
  window->makeKeyAndVisible();
  window->tap({10, 10});
  runFor(std::chrono::milliseconds(10));
  platform::render::Renderer renderer;
  auto frame = renderer.render(*window);
  EXPECT_EQ(frame.width(), 390);
  window->setRootViewController(nullptr);

  window->setHidden(true);
  auto root = controller("root");
  window->setRootViewController(root);
  EXPECT_TRUE(journal->empty() || (*journal == std::vector<std::string>{"root.didLoad"}));
  window->setHidden(false);
  EXPECT_EQ(journal->back(), "root.didAppear");
  EXPECT_EQ(root->view()->frame(), window->bounds());
  auto next = controller("next");
  window->setRootViewController(next);
  EXPECT_EQ(root->view()->window(), nullptr);
  EXPECT_EQ(root->appearance(), ViewController::Appearance::disappeared);
  EXPECT_EQ(next->appearance(), ViewController::Appearance::appeared);
}

// Allows landscape only while a flag is set, as the host does for the control page.
class FlagDelegate : public ApplicationDelegate {
 public:
  bool landscape = false;
  InterfaceOrientationMask supportedInterfaceOrientations(const std::shared_ptr<Window>&) override {
    return landscape ? OrientationMask::landscapeRight : OrientationMask::portrait;
  }
};

class LandscapePage : public ViewController {
 public:
  InterfaceOrientationMask supportedInterfaceOrientations() const override { return OrientationMask::landscapeRight; }
};

TEST_F(WindowSceneTest, GeometryUpdatesFollowWhatTheDelegateAndTopControllerAllow) {
  auto delegate = std::make_shared<FlagDelegate>();
  Application::shared().setDelegate(delegate);
  auto root = controller("root");
  show(root);
  std::vector<InterfaceOrientation> changes;
  scene->onInterfaceOrientationChanged = [&](InterfaceOrientation previous) { changes.push_back(previous); };
  std::string error;
  scene->requestGeometryUpdate(OrientationMask::landscapeRight, [&](const std::string& e) { error = e; });
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(scene->interfaceOrientation(), InterfaceOrientation::portrait);

  delegate->landscape = true;
  auto page = std::make_shared<LandscapePage>();
  page->setModalPresentationStyle(ModalPresentationStyle::fullScreen);
  root->present(page, false);
  scene->requestGeometryUpdate(OrientationMask::landscapeRight);
  EXPECT_EQ(scene->interfaceOrientation(), InterfaceOrientation::landscapeRight);
  EXPECT_EQ(window->bounds().size, (Size{844, 390}));
  EXPECT_EQ(page->view()->bounds().size, (Size{844, 390}));
  EXPECT_EQ(changes, (std::vector<InterfaceOrientation>{InterfaceOrientation::portrait}));

  // The page goes and the host allows portrait again: re-evaluation turns the scene back.
  page->dismiss(false);
  delegate->landscape = false;
  ViewController::attemptRotationToDeviceOrientation();
  EXPECT_EQ(scene->interfaceOrientation(), InterfaceOrientation::portrait);
  EXPECT_EQ(root->view()->bounds().size, (Size{390, 844}));

  // Presenting a landscape-only page turns the scene by itself; its dismissal turns it back
  // once the host no longer allows landscape.
  delegate->landscape = true;
  auto second = std::make_shared<LandscapePage>();
  second->setModalPresentationStyle(ModalPresentationStyle::fullScreen);
  root->present(second, true);
  EXPECT_EQ(scene->interfaceOrientation(), InterfaceOrientation::landscapeRight);
  runFor(std::chrono::milliseconds(300));
  second->dismiss(true, [&] { EXPECT_EQ(scene->interfaceOrientation(), InterfaceOrientation::portrait); });
  delegate->landscape = false;
  runFor(std::chrono::milliseconds(300));
  EXPECT_EQ(scene->interfaceOrientation(), InterfaceOrientation::portrait);
  EXPECT_EQ(changes.size(), 4u);
}

TEST_F(WindowSceneTest, LifeCycleNotificationsBackgroundTasksScenesAndUrls) {
  std::vector<std::string> posted;
  auto& center = NotificationCenter::defaultCenter();
  for (const char* name : {Application::kWillResignActiveNotification, Application::kDidEnterBackgroundNotification,
                           Application::kWillTerminateNotification}) {
    center.addObserver(name, [&posted, name] { posted.push_back(name); });
  }
  auto& app = Application::shared();
  bool expired = false;
  auto task = app.beginBackgroundTask("upload", [&] { expired = true; });
  EXPECT_NE(task, Application::kInvalidBackgroundTask);
  app.simulateWillResignActive();
  EXPECT_EQ(scene->activationState(), WindowScene::ActivationState::foregroundInactive);
  app.simulateDidEnterBackground();
  EXPECT_EQ(scene->activationState(), WindowScene::ActivationState::background);
  runFor(std::chrono::seconds(29));
  EXPECT_FALSE(expired);
  runFor(std::chrono::seconds(1));
  EXPECT_TRUE(expired);
  EXPECT_EQ(app.runningBackgroundTaskCount(), 0u);
  // A task ended in time never expires.
  bool second = false;
  auto ended = app.beginBackgroundTask("flush", [&] { second = true; });
  app.endBackgroundTask(ended);
  app.endBackgroundTask(ended);
  runFor(std::chrono::seconds(60));
  EXPECT_FALSE(second);
  app.simulateWillTerminate();
  EXPECT_EQ(posted, (std::vector<std::string>{Application::kWillResignActiveNotification,
                                              Application::kDidEnterBackgroundNotification,
                                              Application::kWillTerminateNotification}));

  std::vector<std::shared_ptr<WindowScene>> connected;
  app.setSceneConnector([&](const std::shared_ptr<WindowScene>& s) { connected.push_back(s); });
  app.requestSceneSessionActivation();
  EXPECT_EQ(connected.size(), 1u);
  EXPECT_EQ(app.connectedScenes().size(), 2u);
  app.setSupportsMultipleScenes(false);
  std::string error;
  app.requestSceneSessionActivation([&](const std::string& e) { error = e; });
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(app.sceneActivationRequestCount(), 2);

  bool opened = false;
  app.open("https://example.com/help", [&](bool ok) { opened = ok; });
  runFor(std::chrono::milliseconds(1));
  EXPECT_TRUE(opened);
  EXPECT_EQ(app.openedUrls(), (std::vector<std::string>{"https://example.com/help"}));
}

}  // namespace
}  // namespace lumo::test
