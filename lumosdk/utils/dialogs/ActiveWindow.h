#pragma once

// Private to the UI helpers: which of the host's windows the SDK may draw on.

#include <memory>
#include <vector>

namespace platform::ui {
class Window;
}

namespace lumo::ui {

// Windows of the foreground-active window scenes, scene by scene; the application's own
// window list when no such scene has any.
std::vector<std::shared_ptr<platform::ui::Window>> candidateWindows();
// A window at the normal level, not hidden, not fully transparent, with a root controller.
bool isUsableWindow(const platform::ui::Window& window);
std::vector<std::shared_ptr<platform::ui::Window>> usableWindows(
    const std::vector<std::shared_ptr<platform::ui::Window>>& candidates);
// The key window among `usable`, else the first one; none for an empty list.
std::shared_ptr<platform::ui::Window> chooseWindow(const std::vector<std::shared_ptr<platform::ui::Window>>& usable);

}  // namespace lumo::ui
