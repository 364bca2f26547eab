// The control page's session rules: the command loop and what each frame may carry, the
// moment control is granted, the vehicle's state frames, and the ending.

#include <cmath>

#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/recorder/PageRecordings.h"
#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/LogObject.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/widgets/CustomSwitch.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/TimerSource.h"
#include "platform/ui/Color.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"

namespace lumo {

using platform::dispatch::DispatchQueue;
using platform::dispatch::Seconds;
namespace ui = platform::ui;

namespace {

constexpr const char* kDelayMessage = "您的蓝牙延迟过大,请保持与车辆2M以内距离重新遥控";
constexpr std::int64_t kFullBrake = 30;
constexpr std::int64_t kNormalThrottleScale = 10;
constexpr std::int64_t kAccelerationThrottleScale = 30;

platform::dispatch::MonoTime now() { return platform::dispatch::Scheduler::clock().now(); }

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

// ---- the command loop

void LumoControlPage::initCommandTimer() {
  shutdownTimer();
  // Strict and on the main queue: the tick fires from a high-priority thread at absolute
  // deadlines and goes straight to the main thread, ahead of waiting work, where the frame is
  // built (a blocked main thread delays frames rather than sending a stale input).
  auto timer = platform::dispatch::TimerSource::make(DispatchQueue::main(),
                                                     platform::dispatch::TimerSource::Flags::strict);
  auto interval = Seconds(COMMAND_INTERVAL_MS / 1000.0);
  timer->schedule(interval, interval);
  std::weak_ptr<LumoControlPage> weak = weakSelf();
  std::weak_ptr<platform::dispatch::TimerSource> weakTimer = timer;
  timer->setEventHandler([weak, weakTimer] {
    auto page = weak.lock();
    auto firing = weakTimer.lock();
    // A tick of a timer that was replaced or cancelled meanwhile sends nothing.
    if (!page || !firing || page->commandTimer_ != firing || firing->isCancelled()) return;
    page->sendControlCommand();
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
  // A newer page took the link over: this one's frames, its inputs and its ticks in the
  // codec's send-time cache would all reach the newer page's vehicle.
  if (!ownsLink()) {
    shutdownTimer();
    return;
  }
  rollCount_ += 1;
  bool canControl = ControlUtil::isCanControl();
  observeGrants();
  if (canControl && !quitFlag_ && lastStateAt_ &&
      now() - *lastStateAt_ > std::chrono::duration_cast<platform::dispatch::MonoTime>(Seconds(STATE_SILENCE_LIMIT))) {
    // The vehicle stopped answering while the phone drives it: as unsafe as any delay.
    quitWithToast(kDelayMessage, "silence");
  }
  platform::Bytes frame;
  if (!canControl && !quitFlag_) {
    frame = ControlUtil::encodeCmd(true, false, 0, kFullBrake, 0, rollCount_);
  } else if (quitFlag_ || inputHeldSinceGrant()) {
    // Full brake: leaving (never a request a vehicle could still answer with a grant), or an
    // input held since the grant that has not been let go.
    frame = ControlUtil::encodeCmd(false, enableSafety_, 0, kFullBrake, 0, rollCount_);
  } else {
    std::int64_t scale = accelerationModelEnable_ ? kAccelerationThrottleScale : kNormalThrottleScale;
    auto throttle = static_cast<std::int64_t>(std::trunc(dy_ * static_cast<float>(scale)));
    std::int64_t brake = dy_ == 0.0f ? kFullBrake : 0;
    auto directionAngle = static_cast<std::int64_t>(std::trunc(dx_ * 100.0f));
    frame = ControlUtil::encodeCmd(false, enableSafety_, throttle, brake, directionAngle, rollCount_);
  }
  BluetoothUtil::sendData(frame);
}

// ---- the moment of a grant

// Looked at before every frame and every state frame, so that no frame is built on a grant
// the page has not taken in.
void LumoControlPage::observeGrants() {
  std::uint64_t grants = ControlUtil::getGrantCount();
  if (grants == seenGrantCount_) return;
  seenGrantCount_ = grants;
  // Whatever the user holds at this moment was pressed for no grant: it must let go first.
  throttleHeldAtGrant_ = dy_ != 0.0f;
  steeringHeldAtGrant_ = dx_ != 0.0f;
  // The first grant of a link frees the page whatever mode the vehicle reports with it.
  if (!grantedSinceLinkUp_ && !quitFlag_) DialogUtil::dismissWaitDialog();
  grantedSinceLinkUp_ = true;
}

bool LumoControlPage::inputHeldSinceGrant() const { return throttleHeldAtGrant_ || steeringHeldAtGrant_; }

// ---- the vehicle's state frames

void LumoControlPage::onState(const platform::Bytes& data) {
  if (data.size() < 8 || finished_ || !ownsLink()) return;
  lastStateAt_ = now();
  observeGrants();
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
  if (warningContainer_ && warningContainer_->isHidden() != (mode != 6)) {
    warningContainer_->setHidden(mode != 6);
    recorder::SessionEvents::ui(recorder::UiKind::warning,
                                mode == 6 ? recorder::UiAction::show : recorder::UiAction::dismiss,
                                tvWarningMessage_ ? tvWarningMessage_->text() : std::string());
  }
  if (auto loaded = viewIfLoaded()) loaded->setNeedsLayout();  // the status row's width follows its texts

  // An echo later than the codec reports (it says -1 beyond 999 ms) is still a delay.
  int delay = ControlUtil::getDelay();
  std::int64_t measured = ControlUtil::getMeasuredDelay().value_or(delay);
  int shown = measured > delay ? static_cast<int>(std::min<std::int64_t>(measured, 1000000)) : delay;
  if (shown != delayMs_) {
    delayMs_ = shown;
    if (delayText_) delayText_->setText(std::to_string(shown) + "ms");
  }

  if (!hasControlAble_ && canControl) {
    hasControlAble_ = true;
    enableSafety_ = true;
    if (safetySwitch_) safetySwitch_->setIsOn(true);  // shown on, without a value-changed event
  }
  if (!canControl) resetInactivityTimer();
  if (mode == 5 && !canControl) quitWithToast("车辆已被他人接管", "takeover");
  if (mode == 4 && rollCount_ > ON_SITE_GRACE_FRAMES) quitWithToast("现场遥控器接管", "on_site_takeover");
  if (measured > MAX_DELAY_MS && !quitFlag_) quitWithToast(kDelayMessage, "delay");
}

// ---- ending

void LumoControlPage::quitWithToast(const std::string& message, const char* reason) {
  // One ending per session: a second request while leaving schedules no second finish.
  if (quitFlag_ || finished_) return;
  quitFlag_ = true;
  recorder::PageRecordings::noteEnd(this, reason, message);
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

void LumoControlPage::quitWithToast(const std::string& message) { quitWithToast(message, "other"); }

void LumoControlPage::finish() {
  if (finished_) return;
  finished_ = true;
  dx_ = 0;
  dy_ = 0;
  shutdownTimer();
  recorder::PageRecordings::finish(this);
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
