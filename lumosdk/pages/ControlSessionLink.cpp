// The control page's hold on the vehicle link: which page owns the process-wide link, the
// permission check, the link's reports, the authority watchdog and the retry dialog.

#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/LogObject.h"
#include "lumosdk/utils/LogUtil.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"

namespace lumo {

using platform::dispatch::DispatchQueue;
using platform::dispatch::Seconds;

namespace {

// Which page may drive the process-wide link: the one that last asked it to connect. A page
// that is leaving never disconnects a link that a newer page has taken over since.
std::uint64_t& linkOwner() {
  static std::uint64_t owner = 0;
  return owner;
}

std::uint64_t nextLinkClaim() {
  static std::uint64_t counter = 0;
  return ++counter;
}

void console(const std::string& text) { platform::foundation::ConsoleLog::write("LUMOSDK: " + text); }

}  // namespace

bool LumoControlPage::ownsLink() const { return linkClaim_ != 0 && linkOwner() == linkClaim_; }

// Also while the link is still searching or connecting: a page that leaves must not let the
// vehicle connect afterwards with nobody watching.
void LumoControlPage::disconnectOwnedLink() {
  if (ownsLink()) BluetoothUtil::disconnect();
}

void LumoControlPage::reconnect(const std::string& waitMessage) {
  if (quitFlag_ || finished_) return;
  DialogUtil::showWaitDialog(waitMessage);
  linkClaim_ = nextLinkClaim();
  linkOwner() = linkClaim_;
  ++linkAttempt_;
  BluetoothUtil::initWithSlaverDeviceName(bleName_, vehicleId_);
}

void LumoControlPage::checkBluetoothPermissions() {
  auto weak = weakSelf();
  BluetoothUtil::checkAndRequestPermissions(strongSelf(), [weak](bool granted) {
    DispatchQueue::main()->async([weak, granted] {
      auto page = weak.lock();
      if (!page || page->quitFlag_ || page->finished_) return;
      if (granted) {
        page->reconnect("正在初始化蓝牙");
      } else {
        page->showPermissionDeniedDialog();
      }
    });
  });
}

void LumoControlPage::showPermissionDeniedDialog() {
  auto weak = weakSelf();
  DialogUtil::showCustomDialog(
      strongSelf(), std::string("权限请求"), "蓝牙功能需要相关权限才能正常工作。请允许权限以继续操作。", nullptr,
      "重试",
      [weak] {
        auto page = weak.lock();
        if (!page || page->quitFlag_) return;
        DialogUtil::showWaitDialog("正在检查权限");
        page->checkBluetoothPermissions();
      },
      std::string("退出"),
      [weak] {
        if (auto page = weak.lock()) page->quitWithToast("权限被拒绝", "permission_denied");
      },
      false, false, ButtonLayout::horizontal, std::nullopt);
}

void LumoControlPage::setBluetoothListeners() {
  auto weak = weakSelf();
  BluetoothUtil::setOnConnectStateChangeListener([weak](ConnectState state) {
    DispatchQueue::main()->async([weak, state] {
      if (auto page = weak.lock()) page->onConnectState(state);
    });
  });
  BluetoothUtil::setOnDataListener([weak](const platform::Bytes& data) {
    DispatchQueue::main()->async([weak, data] {
      if (auto page = weak.lock()) page->onState(data);
    });
  });
}

void LumoControlPage::onConnectState(ConnectState state) {
  LogObject record;
  record.putString("state", connectStateName(state));
  record.putLong("vid", vehicleId_);
  LogUtil::logInfo("ble_state", record);
  // Reports that reach a page which has finished, or whose link a newer page took over,
  // change nothing.
  if (finished_ || !ownsLink()) return;
  recorder::SessionEvents::linkStateReported(state);
  switch (state) {
    case ConnectState::idle:
      shutdownTimer();
      showRetry("设备已断开", "link_lost");
      break;
    case ConnectState::scanning:
      // While leaving, the wait dialog keeps the reason the session ends.
      if (!quitFlag_) DialogUtil::showWaitDialog("正在扫描设备");
      break;
    case ConnectState::connectingDevice:
      if (!quitFlag_) DialogUtil::showWaitDialog("正在连接...");
      break;
    case ConnectState::linkConnected:
      if (quitFlag_) {
        // Came up after the ending began: no loop and no request may start on it.
        BluetoothUtil::disconnect();
        break;
      }
      DialogUtil::dismissWaitDialog();
      DialogUtil::showWaitDialog("已连接,正在请求控制权限");
      // A new connection must be granted anew: frames request control until it is.
      ControlUtil::clearData();
      seenGrantCount_ = ControlUtil::getGrantCount();
      lastStateAt_.reset();
      grantedSinceLinkUp_ = false;
      initCommandTimer();
      armAuthorityWatchdog();
      break;
    case ConnectState::scanTimedOut:
      shutdownTimer();
      showRetry("未发现设备", "not_found");
      break;
    case ConnectState::connectTimedOut:
      shutdownTimer();
      showRetry("连接超时", "connect_timeout");
      break;
  }
}

void LumoControlPage::armAuthorityWatchdog() {
  std::uint64_t attempt = ++linkAttempt_;
  auto page = strongSelf();  // the watchdog keeps the page until it has looked
  DispatchQueue::main()->asyncAfter(Seconds(AUTHORITY_TIMEOUT), [page, attempt] {
    // Only the connection it was armed for: a later link-up arms its own, and a page that
    // is leaving must not disconnect a link that may already serve the next page.
    if (page->linkAttempt_ != attempt || page->quitFlag_ || page->finished_ || !page->ownsLink()) return;
    // Granted in time (perhaps withdrawn since: then the frames simply ask again).
    if (page->grantedSinceLinkUp_ || ControlUtil::isCanControl()) return;
    DialogUtil::dismissWaitDialog();
    BluetoothUtil::disconnect();
    page->shutdownTimer();
    page->showRetry("获取控制权限超时", "authority_timeout");
  });
}

void LumoControlPage::showRetry(const std::string& title) { showRetry(title, "other"); }

void LumoControlPage::showRetry(const std::string& title, const char* cause) {
  if (!quitFlag_) DialogUtil::dismissWaitDialog();
  auto loaded = viewIfLoaded();
  if (!loaded || !loaded->window() || quitFlag_ || finished_ || isBeingDismissed()) {
    console("showRetry - 视图不在层次结构中或已标记退出，不显示对话框");
    return;
  }
  if (auto presented = presentedViewController()) {
    console("showRetry - 已有弹窗正在显示: " + presented->typeName());
    return;
  }
  auto weak = weakSelf();
  DialogUtil::showCustomDialog(
      strongSelf(), title, "请选择重新连接或者退出遥控", nullptr, "重新连接",
      [weak] {
        if (auto page = weak.lock()) page->reconnect("正在重新连接");
      },
      std::string("退出遥控"),
      [weak, cause] {
        if (auto page = weak.lock()) page->quitWithToast("已退出遥控", cause);
      },
      false, false, ButtonLayout::horizontal, std::nullopt);
}

}  // namespace lumo
