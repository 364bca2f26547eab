#pragma once

#include <memory>
#include <string>


namespace platform::ui {
class Label;
class View;
class Window;
}  // namespace platform::ui

namespace lumo {

// The one blocking "loading" overlay (spinner and message) over the host's active window,
// shown around backend requests and as DialogUtil's wait dialog. At most one overlay exists;
// show replaces it and a single dismiss removes it. Records go to the log with tag
// "LoadingUtil".
class LoadingUtil {
 public:
  // Any thread; the work always runs in a later turn of the main thread.
  static void show(const std::string& message);
  // On the main thread it acts at once; from another thread it queues itself there.
  static void dismiss();
  // The window toasts and the overlay go to (main thread); none when no window is usable.
  static std::shared_ptr<platform::ui::Window> obtainActiveWindow();
  // Makes this overlay the one the backend client shows around its requests.
  static void installAsNetworkOverlay();

  // The overlay and its label while one is shown (main thread).
  static std::shared_ptr<platform::ui::View> loadingView();
  static std::shared_ptr<platform::ui::Label> messageLabel();
  // Removes a shown overlay silently and forgets it.
  static void resetForTesting();

  LoadingUtil() = delete;
};

}  // namespace lumo
