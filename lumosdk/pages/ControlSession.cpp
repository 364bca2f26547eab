// The control page's session: link reports, the command loop, the vehicle's state frames,
// the retry and permission dialogs, and every way the session ends.

#include <cmath>

#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/LogObject.h"
#include "lumosdk/utils/LogUtil.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/TimerSource.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/ui/Color.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"

namespace lumo {

using platform::dispatch::DispatchQueue;
using platform::dispatch::QualityOfService;
using platform::dispatch::Seconds;
namespace ui = platform::ui;

namespace {

constexpr const char* kDelayMessage = "您的蓝牙延迟过大,请保持与车辆2M以内距离重新遥控";
constexpr std::int64_t kRequestBrake = 30;
constexpr std::int64_t kNormalThrottleScale = 10;
constexpr std::int64_t kAccelerationThrottleScale = 30;

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

platform::dispatch::MonoTime now() { return platform::dispatch::Scheduler::clock().now(); }

void console(const std::string& text) { platform::foundation::ConsoleLog::write("LUMOSDK: " + text); }

}  // namespace

std::string LumoControlPage::driveModeName(int mode) {
  switch (mode) {
    case 0: return "准备状态";
    case 1: return "自动驾驶";
    case 2: return "仅转向";
    case 3: return "仅速度";
    case 4: return "现场接管";
    case 5: return "远程接管";
    case 6: return "安全接管";
    case 7: return "紧急模式";
    case 8: return "手机遥控";
    default: return "UNKNOWN";
  }
}

// ---- the link

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
        if (auto page = weak.lock()) page->quitWithToast("权限被拒绝");
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
  switch (state) {
    case ConnectState::idle:
      shutdownTimer();
      showRetry("设备已断开");
      break;
    case ConnectState::scanning:
      DialogUtil::showWaitDialog("正在扫描设备");
      break;
    case ConnectState::connectingDevice:
      DialogUtil::showWaitDialog("正在连接...");
      break;
    case ConnectState::linkConnected:
      DialogUtil::dismissWaitDialog();
      DialogUtil::showWaitDialog("已连接,正在请求控制权限");
      // A new connection must be granted anew: frames request control until it is.
      ControlUtil::clearData();
      lastStateAt_.reset();
      grantedSinceLinkUp_ = false;
      initCommandTimer();
      armAuthorityWatchdog();
      break;
    case ConnectState::scanTimedOut:
      shutdownTimer();
      showRetry("未发现设备");
      break;
    case ConnectState::connectTimedOut:
      shutdownTimer();
      showRetry("连接超时");
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
    page->showRetry("获取控制权限超时");
  });
}

// ---- the command loop

void LumoControlPage::initCommandTimer() {
  shutdownTimer();
  auto timer = platform::dispatch::TimerSource::make(DispatchQueue::global(QualityOfService::userInteractive));
  auto interval = Seconds(COMMAND_INTERVAL_MS / 1000.0);
  timer->schedule(interval, interval);
  std::weak_ptr<LumoControlPage> weak = weakSelf();
  std::weak_ptr<platform::dispatch::TimerSource> weakTimer = timer;
  // Only a hop: the frame is built on the main thread. The page is locked there, never on
  // the timer's thread, so it is never destroyed off the main thread.
  timer->setEventHandler([weak, weakTimer] {
    DispatchQueue::main()->async([weak, weakTimer] {
      auto page = weak.lock();
      auto firing = weakTimer.lock();
      // A tick of a timer that was replaced or cancelled meanwhile sends nothing.
      if (!page || !firing || page->commandTimer_ != firing || firing->isCancelled()) return;
      page->sendControlCommand();
    });
  });
  commandTimer_ = timer;
  timer->resume();
}

void LumoControlPage::shutdownTimer() {
  if (commandTimer_) commandTimer_->cancel();
  commandTimer_.reset();
}

void LumoControlPage::sendControlCommand() {
  if (finished_) return;
  rollCount_ += 1;
  bool canControl = ControlUtil::isCanControl();
  if (canControl && !quitFlag_ && lastStateAt_ &&
      now() - *lastStateAt_ > std::chrono::duration_cast<platform::dispatch::MonoTime>(Seconds(STATE_SILENCE_LIMIT))) {
    // The vehicle stopped answering while the phone drives it: as unsafe as any delay.
    quitWithToast(kDelayMessage);
  }
  platform::Bytes frame;
  if (!canControl) {
    frame = ControlUtil::encodeCmd(true, false, 0, kRequestBrake, 0, rollCount_);
  } else if (quitFlag_) {
    frame = ControlUtil::encodeCmd(false, enableSafety_, 0, kRequestBrake, 0, rollCount_);
  } else {
    std::int64_t scale = accelerationModelEnable_ ? kAccelerationThrottleScale : kNormalThrottleScale;
    auto throttle = static_cast<std::int64_t>(std::trunc(dy_ * static_cast<float>(scale)));
    std::int64_t brake = dy_ == 0.0f ? kRequestBrake : 0;
    auto directionAngle = static_cast<std::int64_t>(std::trunc(dx_ * 100.0f));
    frame = ControlUtil::encodeCmd(false, enableSafety_, throttle, brake, directionAngle, rollCount_);
  }
  BluetoothUtil::sendData(frame);
}

// ---- the vehicle's state frames

void LumoControlPage::onState(const platform::Bytes& data) {
  if (data.size() < 8 || finished_ || !ownsLink()) return;
  lastStateAt_ = now();
  int mode = data[0];
  bool canControl = ControlUtil::isCanControl();
  std::string text = driveModeName(mode);
  if ((mode == 5 || mode == 6) && canControl && !quitFlag_) {
    DialogUtil::dismissWaitDialog();
    if (mode == 5) text = "蓝牙遥控";
  }
  if (driveModeText_) {
    driveModeText_->setText(text);
    driveModeText_->setTextColor(mode == 6 ? ui::Color::redColor() : ui::Color::black());
  }
  if (warningContainer_) warningContainer_->setHidden(mode != 6);
  if (auto loaded = viewIfLoaded()) loaded->setNeedsLayout();  // the status row's width follows its texts

  // An echo later than the codec reports (it says -1 beyond 999 ms) is still a delay.
  int delay = ControlUtil::getDelay();
  std::int64_t measured = ControlUtil::getMeasuredDelay().value_or(delay);
  int shown = measured > delay ? static_cast<int>(std::min<std::int64_t>(measured, 1000000)) : delay;
  if (shown != delayMs_) {
    delayMs_ = shown;
    if (delayText_) delayText_->setText(std::to_string(shown) + "ms");
  }

  if (canControl) grantedSinceLinkUp_ = true;
  if (!hasControlAble_ && canControl) {
    hasControlAble_ = true;
    enableSafety_ = true;
  }
  if (!canControl) resetInactivityTimer();
  if (mode == 5 && !canControl) quitWithToast("车辆已被他人接管");
  if (mode == 4 && rollCount_ > ON_SITE_GRACE_FRAMES) quitWithToast("现场遥控器接管");
  if (measured > MAX_DELAY_MS && !quitFlag_) quitWithToast(kDelayMessage);
}

// ---- retry, ending

void LumoControlPage::showRetry(const std::string& title) {
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
      [weak] {
        if (auto page = weak.lock()) page->quitWithToast("已退出遥控");
      },
      false, false, ButtonLayout::horizontal, std::nullopt);
}

void LumoControlPage::quitWithToast(const std::string& message) {
  // One ending per session: a second request while leaving schedules no second finish.
  if (quitFlag_ || finished_) return;
  quitFlag_ = true;
  // Whatever the user still holds, the session is ending: nothing may drive any more.
  dx_ = 0;
  dy_ = 0;
  DialogUtil::showWaitDialog(message);
  LogObject record;
  record.putLong("vid", vehicleId_);
  record.putString("ble_name", bleName_);
  record.putString("msg", message);
  LogUtil::logInfo("ble_toast", record);
  auto page = strongSelf();  // the ending keeps the page until it is done
  DispatchQueue::main()->asyncAfter(Seconds(1.0), [page] { page->finish(); });
}

void LumoControlPage::finish() {
  if (finished_) return;
  finished_ = true;
  dx_ = 0;
  dy_ = 0;
  shutdownTimer();
  removeNotificationObservers();
  stopInactivityTimer();
  disconnectOwnedLink();
  auto page = strongSelf();
  DispatchQueue::main()->async([page] {
    if (auto presenting = page->presentingViewController()) {
      // Dismissing from the presenter takes the page itself away, together with any dialog
      // it presents (dismissing the page would only close that dialog).
      presenting->dismiss(true, [] { DialogUtil::dismissWaitDialog(); });
    } else if (auto navigation = page->navigationController(); navigation && !page->isBeingDismissed()) {
      if (page->presentedViewController()) page->dismiss(false);
      navigation->popViewController(true);
      DialogUtil::dismissWaitDialog();
    }
  });
}

}  // namespace lumo
