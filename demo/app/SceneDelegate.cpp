#include "demo/app/SceneDelegate.h"

#include "demo/app/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace demo {

void SceneDelegate::willConnect(const std::shared_ptr<platform::ui::WindowScene>& scene) {
  if (!scene) return;
  auto window = platform::ui::Window::make(scene);
  window->setRootViewController(std::make_shared<ViewController>());
  window->makeKeyAndVisible();
  windows_.push_back(window);
  scene->onInterfaceOrientationChanged = [](platform::ui::InterfaceOrientation) {
    platform::ui::ViewController::attemptRotationToDeviceOrientation();
  };
}

}  // namespace demo
