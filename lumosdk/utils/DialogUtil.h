#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lumosdk/utils/ButtonLayout.h"

namespace platform::ui {
class Image;
class ViewController;
}  // namespace platform::ui

namespace lumo {

// The SDK's one entry point for modal messages: toasts, the wait overlay, the confirmation
// dialog (one or two buttons, optional auto-confirming countdown) and the countdown dialog.
// Every operation may be called from any thread: it queues its work on the main thread and
// returns at once, so calls from one thread keep their order. Callbacks run on the main
// thread, after the dialog's dismissal. Records go to the log with tag "DialogUtil".
class DialogUtil {
 public:
  using Callback = std::function<void()>;

  // A message over the active window that fades in, stays 1.5 s and fades out. Toasts do
  // not queue: several can be visible at once.
  static void showToast(const std::string& message);
  // The blocking loading overlay (LoadingUtil) and its removal.
  static void showWaitDialog(const std::string& message);
  static void dismissWaitDialog();

  // Presents a CustomDialogViewController over `context`. A context that is not on screen
  // gets a console line and no dialog; no callback ever runs then.
  static void showCustomDialog(std::shared_ptr<platform::ui::ViewController> context,
                               std::optional<std::string> title, std::string message,
                               std::shared_ptr<platform::ui::Image> icon, std::string positiveText,
                               Callback positiveCallback, std::optional<std::string> negativeText,
                               Callback negativeCallback, bool showWarningIcon, bool cancelable,
                               ButtonLayout buttonsLayout, std::optional<int> countdown);
  // Presents a CountdownDialogViewController over `context` (same refusal as above).
  static void showCountdownDialog(std::shared_ptr<platform::ui::ViewController> context, std::string title,
                                  std::string message, int countdown, std::string positiveText,
                                  Callback positiveCallback, std::string negativeText, Callback negativeCallback);

  DialogUtil() = delete;
};

}  // namespace lumo
