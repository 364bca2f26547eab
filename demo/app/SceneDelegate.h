#pragma once

#include <memory>
#include <vector>

namespace platform::ui {
class Window;
class WindowScene;
}  // namespace platform::ui

namespace demo {

// Gives every connected window scene a key, visible window whose root is a new form screen,
// and re-checks the allowed orientations whenever a scene turns. Scenes hold their windows
// weakly, so the delegate keeps them.
class SceneDelegate {
 public:
  void willConnect(const std::shared_ptr<platform::ui::WindowScene>& scene);
  const std::vector<std::shared_ptr<platform::ui::Window>>& windows() const { return windows_; }

 private:
  std::vector<std::shared_ptr<platform::ui::Window>> windows_;
};

}  // namespace demo
