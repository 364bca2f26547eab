#include "demo/app/DemoApplication.h"

#include "platform/ui/Application.h"

namespace demo {

DemoApplication::DemoApplication()
    : appDelegate_(std::make_shared<AppDelegate>()), sceneDelegate_(std::make_shared<SceneDelegate>()) {}

DemoApplication::~DemoApplication() {
  auto& application = platform::ui::Application::shared();
  application.setSceneConnector(nullptr);
  if (application.delegate() == appDelegate_) application.setDelegate(nullptr);
}

void DemoApplication::launch() {
  auto& application = platform::ui::Application::shared();
  application.setDelegate(appDelegate_);
  std::weak_ptr<SceneDelegate> scenes = sceneDelegate_;
  application.setSceneConnector([scenes](const std::shared_ptr<platform::ui::WindowScene>& scene) {
    if (auto delegate = scenes.lock()) delegate->willConnect(scene);
  });
  application.connectScene();
}

}  // namespace demo
