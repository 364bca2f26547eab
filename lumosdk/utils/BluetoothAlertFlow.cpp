#include "lumosdk/utils/BluetoothAlertFlow.h"

#include "lumosdk/utils/BluetoothStateManager.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/BluetoothUtilState.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace lumo {

using platform::ble::ManagerState;
using platform::dispatch::DispatchQueue;
using platform::dispatch::Seconds;
using platform::ui::AlertAction;
using platform::ui::AlertController;
using platform::ui::ViewController;

namespace {

constexpr const char* kAlreadyShowing = "已有对话框正在显示，避免重复显示";
constexpr const char* kBeingDismissed = "ViewController is being dismissed, 无法显示对话框";

void log(const std::string& operation, const std::string& text) {
  platform::foundation::ConsoleLog::write("LUMOSDK_BluetoothUtil: " + operation + ": " + text);
}

// Why a check cannot go on: its page is leaving (or gone, where the alert needs it), or
// another alert already shows. Nothing when it can go on.
const char* unavailableReason(const ViewController* page, bool pageRequired) {
  if ((!page && pageRequired) || (page && page->isBeingDismissed())) return kBeingDismissed;
  if (BluetoothUtil::isPermissionDialogShowing()) return kAlreadyShowing;
  return nullptr;
}

struct AlertText {
  const char* operation;
  const char* preparing;
  const char* showing;
  const char* title;
  const char* message;
};

AlertText textOf(BluetoothAlertFlow::Alert alert) {
  switch (alert) {
    case BluetoothAlertFlow::Alert::permissionDenied:
      return {"showPermissionDeniedDialog", "准备显示权限被拒绝对话框", "显示权限被拒绝对话框", "权限请求",
              "蓝牙功能需要相关权限才能正常工作。请前往设置开启所需权限。"};
    case BluetoothAlertFlow::Alert::bluetoothOff:
      return {"showBluetoothEnableDialog", "准备显示蓝牙开启对话框", "显示蓝牙开启对话框", "蓝牙未开启",
              "请在设置中开启蓝牙以使用此功能"};
    case BluetoothAlertFlow::Alert::unsupported:
      return {"showUnsupportedDialog", "准备显示设备不支持蓝牙对话框", "显示设备不支持蓝牙对话框", "不支持蓝牙",
              "您的设备不支持蓝牙功能，无法使用此功能。"};
    case BluetoothAlertFlow::Alert::error:
      break;
  }
  return {"showBluetoothErrorDialog", "准备显示蓝牙错误对话框: ", "显示蓝牙错误对话框", "蓝牙状态", ""};
}

// Tells when an alert leaves the screen, so one taken away by other code still answers.
class BluetoothAlertController : public AlertController {
 public:
  BluetoothAlertController(std::string title, std::string message, std::function<bool()> unanswered,
                           std::function<void()> onGone)
      : AlertController(std::move(title), std::move(message), Style::alert),
        unanswered_(std::move(unanswered)),
        onGone_(std::move(onGone)) {}
  ~BluetoothAlertController() override {
    // Released without ever leaving the screen (its window went away): answer in a later turn.
    if (unanswered_()) DispatchQueue::main()->async(std::move(onGone_));
  }
  void viewDidDisappear(bool animated) override {
    AlertController::viewDidDisappear(animated);
    // A tapped button's handler runs right after this, within the same turn; the check
    // waits for the next turn to see whether one did.
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    DispatchQueue::main()->async([weakSelf, onGone = onGone_] {
      auto self = weakSelf.lock();
      if (self && self->presentingViewController()) return;  // covered, not gone
      onGone();
    });
  }

 private:
  std::function<bool()> unanswered_;
  std::function<void()> onGone_;
};

}  // namespace

// One run of the check: its page (held weakly: a check never keeps a page alive) and its
// answer, given at most once.
struct BluetoothAlertFlow::Check {
  std::weak_ptr<ViewController> viewController;
  std::function<void(bool)> callback;
  bool answered = false;

  void answer(bool usable) {
    if (answered) return;
    answered = true;
    auto call = std::move(callback);
    if (call) call(usable);
  }
};

void BluetoothAlertFlow::install() { BluetoothUtil::setPermissionFlow(std::make_shared<BluetoothAlertFlow>()); }

void BluetoothAlertFlow::checkAndRequestPermissions(const std::shared_ptr<ViewController>& viewController,
                                                    std::function<void(bool)> callback) {
  constexpr const char* op = "checkAndRequestPermissions";
  auto check = std::make_shared<Check>(Check{viewController, std::move(callback)});
  log(op, "开始检查蓝牙权限");
  if (const char* reason = unavailableReason(viewController.get(), false)) {
    log(op, reason);
    check->answer(false);
    return;
  }
  if (BluetoothUtil::isConnected()) {
    log(op, "已连接设备，权限已获取");
    check->answer(true);
    return;
  }
  if (!link::state().bluetoothStateManager) {
    log(op, "初始化蓝牙状态管理器");
    BluetoothUtil::stateManager();
  }
  checkBluetoothStateWithRetry(check, kStateRetries);
}

void BluetoothAlertFlow::checkBluetoothStateWithRetry(const std::shared_ptr<Check>& check, int retriesLeft) {
  constexpr const char* op = "checkBluetoothStateWithRetry";
  auto probe = link::state().bluetoothStateManager;
  if (!probe) {
    log(op, "状态管理器未初始化");
    check->answer(false);
    return;
  }
  ManagerState state = probe->getCurrentState();
  log(op, "当前蓝牙状态: " + BluetoothStateManager::stateName(state) + ", 剩余重试次数: " + std::to_string(retriesLeft));
  if (state != ManagerState::unknown) {
    handleBluetoothState(state, check);
    return;
  }
  if (retriesLeft < 1) {
    log(op, "重试次数用完，蓝牙状态仍未知");
    showAlert(Alert::error, check, "无法获取蓝牙状态，请确保蓝牙功能正常");
    return;
  }
  log(op, "状态未知，" + std::to_string(retriesLeft) + "秒后重试");
  auto self = shared_from_this();
  probe->checkBluetoothState([self, check, retriesLeft](ManagerState reported) {
    if (reported != ManagerState::unknown) {
      log("checkBluetoothStateWithRetry", "回调返回状态: " + BluetoothStateManager::stateName(reported));
      self->handleBluetoothState(reported, check);
      return;
    }
    DispatchQueue::main()->asyncAfter(Seconds(kRetryDelaySeconds), [self, check, retriesLeft] {
      self->checkBluetoothStateWithRetry(check, retriesLeft - 1);
    });
  });
}

void BluetoothAlertFlow::handleBluetoothState(ManagerState state, const std::shared_ptr<Check>& check) {
  constexpr const char* op = "checkAndRequestPermissions";
  switch (state) {
    case ManagerState::unknown:
      log(op, "蓝牙状态未知，可能需要用户手动检查");
      showAlert(Alert::error, check, "无法确定蓝牙状态，请检查设备设置");
      return;
    case ManagerState::resetting: {
      log(op, "蓝牙正在重置，1秒后重试");
      auto self = shared_from_this();
      DispatchQueue::main()->asyncAfter(Seconds(kResettingDelaySeconds), [self, check] {
        auto probe = link::state().bluetoothStateManager;
        if (!probe) {
          check->answer(false);
          return;
        }
        ManagerState now = probe->getCurrentState();
        if (now != ManagerState::resetting) {
          self->handleBluetoothState(now, check);
        } else {
          self->showAlert(Alert::error, check, "蓝牙正在重置，请稍后再试");
        }
      });
      return;
    }
    case ManagerState::unsupported:
      log(op, "设备不支持蓝牙");
      showAlert(Alert::unsupported, check);
      return;
    case ManagerState::unauthorized:
      log(op, "蓝牙权限被拒绝");
      showAlert(Alert::permissionDenied, check);
      return;
    case ManagerState::poweredOff:
      log(op, "蓝牙已关闭");
      showAlert(Alert::bluetoothOff, check);
      return;
    case ManagerState::poweredOn:
      log(op, "蓝牙已开启且有权限");
      check->answer(true);
      return;
  }
  log(op, "未知的蓝牙状态");
  showAlert(Alert::error, check, "蓝牙状态异常，请检查设备设置");
}

void BluetoothAlertFlow::showAlert(Alert alert, const std::shared_ptr<Check>& check, const std::string& errorMessage) {
  AlertText text = textOf(alert);
  log(text.operation, alert == Alert::error ? text.preparing + errorMessage : std::string(text.preparing));
  auto viewController = check->viewController.lock();
  if (!viewController || viewController->isBeingDismissed()) {
    log(text.operation, kBeingDismissed);
    check->answer(false);
    return;
  }
  if (BluetoothUtil::isPermissionDialogShowing()) {
    log(text.operation, kAlreadyShowing);
    check->answer(false);
    return;
  }
  auto self = shared_from_this();
  DispatchQueue::main()->async([self, alert, check, errorMessage] { self->presentAlert(alert, check, errorMessage); });
}

void BluetoothAlertFlow::presentAlert(Alert alert, const std::shared_ptr<Check>& check,
                                      const std::string& errorMessage) {
  AlertText text = textOf(alert);
  std::string op = text.operation;
  // The page or the flag may have changed since the alert was asked for; an alert that could
  // not be presented would leave the flag set and the caller unanswered for good.
  auto viewController = check->viewController.lock();
  if (const char* reason = unavailableReason(viewController.get(), true)) {
    log(op, reason);
    check->answer(false);
    return;
  }
  auto view = viewController->viewIfLoaded();
  if (!view || !view->window() || viewController->presentedViewController()) {
    log(op, "ViewController 不在窗口中或已在展示其他页面, 无法显示对话框");
    check->answer(false);
    return;
  }

  auto onGone = [check, op] {
    if (check->answered) return;
    log(op, "对话框被其他代码关闭");
    BluetoothUtil::setPermissionDialogShowing(false);
    check->answer(false);
  };
  auto controller = std::make_shared<BluetoothAlertController>(
      text.title, alert == Alert::error ? errorMessage : std::string(text.message),
      [check] { return !check->answered; }, onGone);

  if (alert == Alert::unsupported) {
    controller->addAction({"确定", AlertAction::Style::defaultStyle, [check](const AlertAction&) {
                             log("showUnsupportedDialog", "用户确认了解设备不支持蓝牙");
                             BluetoothUtil::setPermissionDialogShowing(false);
                             check->answer(false);
                           }});
  } else {
    controller->addAction({"前往设置", AlertAction::Style::defaultStyle, [check, op](const AlertAction&) {
                             log(op, "用户选择前往设置");
                             BluetoothUtil::setPermissionDialogShowing(false);
                             platform::ui::Application::shared().open(kSettingsUrl);
                             check->answer(false);
                           }});
    controller->addAction({"取消", AlertAction::Style::cancel, [check, op](const AlertAction&) {
                             log(op, "用户取消操作");
                             BluetoothUtil::setPermissionDialogShowing(false);
                             check->answer(false);
                           }});
  }
  BluetoothUtil::setPermissionDialogShowing(true);
  log(op, text.showing);
  viewController->present(controller, true);
}

}  // namespace lumo
