#include "lumosdk/utils/dialogs/ActiveWindow.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace lumo::ui {

using platform::ui::Application;
using platform::ui::Window;
using platform::ui::WindowScene;

std::vector<std::shared_ptr<Window>> candidateWindows() {
  std::vector<std::shared_ptr<Window>> windows;
  for (const auto& scene : Application::shared().connectedScenes()) {
    if (!scene || scene->activationState() != WindowScene::ActivationState::foregroundActive) continue;
    for (auto& window : scene->windows()) windows.push_back(std::move(window));
  }
  if (windows.empty()) windows = Application::shared().windows();
  return windows;
}

bool isUsableWindow(const Window& window) {
  return window.windowLevel() == Window::kLevelNormal && !window.isHidden() && window.alpha() > 0 &&
         window.rootViewController() != nullptr;
}

std::vector<std::shared_ptr<Window>> usableWindows(const std::vector<std::shared_ptr<Window>>& candidates) {
  std::vector<std::shared_ptr<Window>> usable;
  for (const auto& window : candidates) {
    if (window && isUsableWindow(*window)) usable.push_back(window);
  }
  return usable;
}

std::shared_ptr<Window> chooseWindow(const std::vector<std::shared_ptr<Window>>& usable) {
  auto key = std::find_if(usable.begin(), usable.end(), [](const auto& window) { return window->isKeyWindow(); });
  if (key != usable.end()) return *key;
  return usable.empty() ? nullptr : usable.front();
}

}  // namespace lumo::ui
