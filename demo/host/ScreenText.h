#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform::ui {
class View;
class Window;
}  // namespace platform::ui

namespace demo {

// What a user can read on a window: labels, button titles and text fields that are shown
// (not hidden, not transparent, at least partly inside the window).
class ScreenText {
 public:
  // Views showing exactly `text`, in drawing order (the last one is on top).
  static std::vector<std::shared_ptr<platform::ui::View>> find(platform::ui::Window& window, const std::string& text);
  static bool shows(platform::ui::Window& window, const std::string& text) { return !find(window, text).empty(); }
  // Every readable text, in drawing order (for error messages).
  static std::vector<std::string> all(platform::ui::Window& window);
  // The first shown view whose dynamic type name contains `typeName` (namespaces ignored).
  static std::shared_ptr<platform::ui::View> findByType(platform::ui::Window& window, const std::string& typeName);
};

}  // namespace demo
