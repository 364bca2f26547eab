#include "lumosdk/utils/DialogUtil.h"

#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/LoadingUtil.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/dialogs/CountdownDialogViewController.h"
#include "lumosdk/utils/dialogs/CustomDialogViewController.h"
#include "lumosdk/utils/dialogs/Toast.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/ui/Window.h"

namespace lumo {

using platform::dispatch::DispatchQueue;
using platform::foundation::ConsoleLog;
using platform::ui::ViewController;

namespace {

constexpr const char* kTag = "DialogUtil";

bool isOnScreen(const std::shared_ptr<ViewController>& context) {
  auto view = context ? context->viewIfLoaded() : nullptr;
  return view && view->window();
}

}  // namespace

void DialogUtil::showToast(const std::string& message) {
  DispatchQueue::main()->async([message] {
    auto window = LoadingUtil::obtainActiveWindow();
    if (!window) {
      LogUtil::w("[DialogUtil] showToast 未找到 active window", kTag);
      return;
    }
    ui::presentToast(*window, message);
    recorder::SessionEvents::ui(recorder::UiKind::toast, recorder::UiAction::show, message);
  });
}

// LoadingUtil makes the hop to the main thread itself; hopping here as well would let a
// dismiss overtake the show issued just before it.
void DialogUtil::showWaitDialog(const std::string& message) { LoadingUtil::show(message); }

void DialogUtil::dismissWaitDialog() { LoadingUtil::dismiss(); }

void DialogUtil::showCustomDialog(std::shared_ptr<ViewController> context, std::optional<std::string> title,
                                  std::string message, std::shared_ptr<platform::ui::Image> icon,
                                  std::string positiveText, Callback positiveCallback,
                                  std::optional<std::string> negativeText, Callback negativeCallback,
                                  bool showWarningIcon, bool cancelable, ButtonLayout buttonsLayout,
                                  std::optional<int> countdown) {
  CustomDialogViewController::Content content{std::move(title),         std::move(message),
                                              std::move(icon),          std::move(positiveText),
                                              std::move(positiveCallback), std::move(negativeText),
                                              std::move(negativeCallback), showWarningIcon,
                                              cancelable,               buttonsLayout,
                                              countdown};
  DispatchQueue::main()->async([context = std::move(context), content = std::move(content)]() mutable {
    if (!isOnScreen(context)) {
      ConsoleLog::write("DialogUtil: 无法显示对话框，视图控制器不在视图层次结构中");
      return;
    }
    const std::string text = content.titleText ? *content.titleText + "\n" + content.messageText : content.messageText;
    auto dialog = CustomDialogViewController::make(std::move(content));
    dialog->setForcedOrientMask(context->supportedInterfaceOrientations());
    LogUtil::d("[DialogUtil] A将在 " + context->typeName() +
                   " 上 present CustomDialogViewController, context orient = " +
                   std::to_string(context->supportedInterfaceOrientations()) +
                   ", dialog orient = " + std::to_string(dialog->supportedInterfaceOrientations()),
               kTag);
    context->present(dialog, true);
    recorder::SessionEvents::ui(recorder::UiKind::dialog, recorder::UiAction::show, text);
  });
}

void DialogUtil::showCountdownDialog(std::shared_ptr<ViewController> context, std::string title, std::string message,
                                     int countdown, std::string positiveText, Callback positiveCallback,
                                     std::string negativeText, Callback negativeCallback) {
  DispatchQueue::main()->async([context = std::move(context), title = std::move(title), message = std::move(message),
                                countdown, positiveText = std::move(positiveText),
                                positiveCallback = std::move(positiveCallback), negativeText = std::move(negativeText),
                                negativeCallback = std::move(negativeCallback)]() mutable {
    if (!isOnScreen(context)) {
      ConsoleLog::write("DialogUtil: 无法显示倒计时对话框，视图控制器不在视图层次结构中");
      return;
    }
    recorder::SessionEvents::ui(recorder::UiKind::dialog, recorder::UiAction::show, title + "\n" + message);
    auto dialog = CountdownDialogViewController::make(std::move(title), std::move(message), countdown,
                                                      std::move(positiveText), std::move(positiveCallback),
                                                      std::move(negativeText), std::move(negativeCallback));
    context->present(dialog, true);
  });
}

}  // namespace lumo
