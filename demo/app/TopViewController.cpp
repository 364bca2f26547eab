#include "demo/app/TopViewController.h"

#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace demo {

using platform::ui::ViewController;

std::shared_ptr<ViewController> topViewController() {
  std::shared_ptr<ViewController> top;
  for (const auto& scene : platform::ui::Application::shared().connectedScenes()) {
    for (const auto& window : scene->windows()) {
      if (window->isKeyWindow()) {
        top = window->rootViewController();
        break;
      }
    }
    if (top) break;
  }
  // Bounded: a malformed chain must not hang the host.
  for (int depth = 0; top && depth < 64; ++depth) {
    if (auto navigation = std::dynamic_pointer_cast<platform::ui::NavigationController>(top)) {
      auto visible = navigation->visibleViewController();
      if (!visible || visible == top) break;
      top = visible;
    } else if (auto tabs = std::dynamic_pointer_cast<platform::ui::TabBarController>(top);
               tabs && tabs->selectedViewController()) {
      top = tabs->selectedViewController();
    } else if (auto presented = top->presentedViewController(); presented && presented != top) {
      top = presented;
    } else {
      break;
    }
  }
  return top;
}

}  // namespace demo
