// The control page's inputs as the session sees them: each press, release and wheel turn
// sets the throttle or steering input, lets go of a hold that dated from a grant, and tells
// the inactivity watchdog the user is there. A held input is the user at work too: the
// watchdog does not run while one is held.

#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/DialogUtil.h"
#include "platform/dispatch/Timer.h"

namespace lumo {

bool LumoControlPage::isInputHeld() const { return dx_ != 0.0f || dy_ != 0.0f; }

void LumoControlPage::throttleInputChanged(float value) {
  dy_ = value;
  if (dy_ == 0.0f) throttleHeldAtGrant_ = false;
  resetInactivityTimer();
}

void LumoControlPage::steeringInputChanged(float value) {
  dx_ = value;
  // The wheel comes back to the centre when its finger lifts: that is its release.
  if (dx_ == 0.0f) steeringHeldAtGrant_ = false;
  resetInactivityTimer();
}

namespace {
void recordPad(recorder::InputEvent event, recorder::Pad pad) { recorder::SessionEvents::input(event, pad); }
}  // namespace

using recorder::InputEvent;
using recorder::Pad;

void LumoControlPage::onForwardSelect() {
  recordPad(InputEvent::select, Pad::forward);
  throttleInputChanged(1.0f);
}
void LumoControlPage::onForwardRelease() {
  recordPad(InputEvent::release, Pad::forward);
  throttleInputChanged(0);
}
void LumoControlPage::onBackSelect() {
  recordPad(InputEvent::select, Pad::back);
  throttleInputChanged(-1.0f);
}
void LumoControlPage::onBackRelease() {
  recordPad(InputEvent::release, Pad::back);
  throttleInputChanged(0);
}
void LumoControlPage::onLeftSelect() {
  recordPad(InputEvent::select, Pad::left);
  steeringInputChanged(-1.0f);
}
void LumoControlPage::onLeftRelease() {
  recordPad(InputEvent::release, Pad::left);
  steeringInputChanged(0);
}
void LumoControlPage::onRightSelect() {
  recordPad(InputEvent::select, Pad::right);
  steeringInputChanged(1.0f);
}
void LumoControlPage::onRightRelease() {
  recordPad(InputEvent::release, Pad::right);
  steeringInputChanged(0);
}
void LumoControlPage::onSteeringWheelAngleChanged(float angle) {
  recorder::SessionEvents::input(InputEvent::wheel, Pad::none, angle);
  steeringInputChanged(angle);
}

// ---- inactivity

void LumoControlPage::startInactivityTimer() {
  stopInactivityTimer();
  // A page that has finished keeps no watchdog running, and a held input is no inactivity:
  // the next release starts the watchdog again.
  if (finished_ || isInputHeld()) return;
  auto weak = weakSelf();
  inactivityTimer_ = platform::dispatch::Timer::scheduled(
      platform::dispatch::Seconds(INACTIVITY_TIMEOUT), false, [weak](platform::dispatch::Timer&) {
        if (auto page = weak.lock()) page->showTimeoutDialog();
      });
}

void LumoControlPage::stopInactivityTimer() {
  if (inactivityTimer_) inactivityTimer_->invalidate();
  inactivityTimer_.reset();
}

void LumoControlPage::resetInactivityTimer() { startInactivityTimer(); }

bool LumoControlPage::isOnScreenAndActive() const {
  auto loaded = viewIfLoaded();
  return loaded && loaded->window() && !quitFlag_;
}

void LumoControlPage::showTimeoutDialog() {
  stopInactivityTimer();
  if (!isOnScreenAndActive() || isInputHeld()) return;
  auto weak = weakSelf();
  DialogUtil::showCountdownDialog(
      strongSelf(), "遥控超时", "系统发现手机遥控长期无任何操作", COUNTDOWN_DURATION, "直接退出",
      [weak] {
        if (auto page = weak.lock()) page->quitWithToast("已退出遥控", "inactive");
      },
      "继续遥控",
      [weak] {
        if (auto page = weak.lock()) page->startInactivityTimer();
      });
}

}  // namespace lumo
