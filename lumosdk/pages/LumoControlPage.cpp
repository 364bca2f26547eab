#include "lumosdk/pages/LumoControlPage.h"

#include "lumosdk/LumoSdk.h"
#include "lumosdk/recorder/PageRecordings.h"
#include "lumosdk/recorder/SessionRecorder.h"
#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/DirectionControlHelper.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/Timer.h"
#include "platform/dispatch/TimerSource.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace lumo {

using platform::dispatch::DispatchQueue;
using platform::foundation::NotificationCenter;
namespace ui = platform::ui;

namespace {

constexpr const char* kBackgroundMessage = "应用进入后台已为您自动退出";
constexpr const char* kSteeringWheelAnimationCompleted = "SteeringWheelAnimationCompleted";
constexpr const char* kButtonModeAnimationCompleted = "ButtonModeAnimationCompleted";

}  // namespace

std::shared_ptr<LumoControlPage> LumoControlPage::make(std::int64_t vehicleId, std::string vehicleName,
                                                       std::string bleName, std::string userName) {
  return std::make_shared<LumoControlPage>(vehicleId, std::move(vehicleName), std::move(bleName),
                                           std::move(userName));
}

LumoControlPage::LumoControlPage(std::int64_t vehicleId, std::string vehicleName, std::string bleName,
                                 std::string userName)
    : vehicleId_(vehicleId),
      vehicleName_(std::move(vehicleName)),
      bleName_(std::move(bleName)),
      userName_(std::move(userName)) {}

LumoControlPage::LumoControlPage(const std::string& /*nibName*/, const std::string& /*bundlePath*/) {}

LumoControlPage::LumoControlPage(const platform::foundation::KeyedArchive& archive) : ViewController(archive) {}

LumoControlPage::~LumoControlPage() {
  if (commandTimer_) commandTimer_->cancel();
  commandTimer_.reset();
  disconnectOwnedLink();
  removeNotificationObservers();
  if (inactivityTimer_) inactivityTimer_->invalidate();
  inactivityTimer_.reset();
  recorder::PageRecordings::finish(this);
}

std::weak_ptr<LumoControlPage> LumoControlPage::weakSelf() { return strongSelf(); }

std::shared_ptr<LumoControlPage> LumoControlPage::strongSelf() {
  return std::static_pointer_cast<LumoControlPage>(shared_from_this());
}

void LumoControlPage::viewDidLoad() {
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, false);
  setNeedsStatusBarAppearanceUpdate();
  setTitle("蓝牙遥控");
  preferences_ = &platform::foundation::UserDefaults::standard();
  startRecording();
  setupUIWithConstraints();
  setupDirectionControl();
  // A session never starts from another session's vehicle state: until this vehicle
  // grants control, every frame requests it.
  ControlUtil::clearData();
  seenGrantCount_ = ControlUtil::getGrantCount();
  BluetoothUtil::initialize(strongSelf());
  setBluetoothListeners();
  // Without a name there is nothing to look for: no permission alerts for a page that ends.
  if (!bleName_.empty()) checkBluetoothPermissions();
  if (!vehicleName_.empty() && carNumber_) carNumber_->setText(vehicleName_);
  if (bleName_.empty()) {
    DialogUtil::showToast("蓝牙设备名称为空");
    recorder::PageRecordings::noteEnd(this, "empty_name", "蓝牙设备名称为空");
    finish();
    return;
  }
  addNotificationObservers();
  startInactivityTimer();
}

void LumoControlPage::viewWillAppear(bool) {
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(true, false);
  setLandscapeOrientation();
}

void LumoControlPage::viewDidLayoutSubviews() {
  if (controlBg_) layoutPageViews();
}

void LumoControlPage::viewWillDisappear(bool) {
  // A page on its way out must not keep a pad or the wheel held.
  if (directionControlHelper_) directionControlHelper_->releaseAllInputs();
  if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, false);
  LumoSdk::setLandspace(false);
}

void LumoControlPage::viewDidDisappear(bool) {
  if (!BluetoothUtil::isPermissionDialogShowing()) {
    disconnectOwnedLink();
    if (!quitFlag_) quitWithToast(kBackgroundMessage, "left");
  }
  DialogUtil::dismissWaitDialog();
}

ui::InterfaceOrientationMask LumoControlPage::supportedInterfaceOrientations() const {
  return ui::OrientationMask::landscapeRight;
}

ui::InterfaceOrientation LumoControlPage::preferredInterfaceOrientationForPresentation() const {
  return ui::InterfaceOrientation::landscapeRight;
}

void LumoControlPage::setLandscapeOrientation() {
  LumoSdk::setLandspace(true);
  auto loaded = viewIfLoaded();
  auto window = loaded ? loaded->window() : nullptr;
  if (auto scene = window ? window->windowScene() : nullptr) {
    scene->requestGeometryUpdate(ui::OrientationMask::landscapeRight);
  }
}

void LumoControlPage::exitButtonTapped() { quitWithToast("退出中", "exit"); }

void LumoControlPage::startRecording() {
  const auto& clock = platform::dispatch::Scheduler::clock();
  recorder::PageRecordings::start(this, {recorder::SessionRecorder::vinOf(vehicleId_), vehicleId_, vehicleName_,
                                         bleName_, clock.wallMillis(), clock.now().count()});
}

// ---- notifications

void LumoControlPage::addNotificationObservers() {
  auto& center = NotificationCenter::defaultCenter();
  auto weak = weakSelf();
  auto onMain = [weak](void (LumoControlPage::*handler)()) {
    return [weak, handler] {
      DispatchQueue::main()->async([weak, handler] {
        if (auto page = weak.lock()) (page.get()->*handler)();
      });
    };
  };
  observers_.push_back(center.addObserver(kSteeringWheelAnimationCompleted,
                                          onMain(&LumoControlPage::steeringWheelAnimationCompleted)));
  observers_.push_back(
      center.addObserver(kButtonModeAnimationCompleted, onMain(&LumoControlPage::buttonModeAnimationCompleted)));
  observers_.push_back(center.addObserver(ui::Application::kWillResignActiveNotification,
                                          onMain(&LumoControlPage::applicationWillResignActive)));
}

void LumoControlPage::removeNotificationObservers() {
  auto& center = NotificationCenter::defaultCenter();
  for (auto token : observers_) center.removeObserver(token);
  observers_.clear();
}

void LumoControlPage::applicationWillResignActive() {
  if (!quitFlag_) quitWithToast(kBackgroundMessage, "left");
}

// The page's half of a finished mode switch. The hop to the main queue may let a newer
// switch start first: then this one's state is stale and is left alone.
void LumoControlPage::steeringWheelAnimationCompleted() {
  if (!directionControlHelper_ || directionControlHelper_->keyMode()) return;
  if (steeringWheel_) {
    steeringWheel_->setHidden(false);
    steeringWheel_->setUserInteractionEnabled(true);
  }
  if (rightControlContainer_) rightControlContainer_->setHidden(true);
}

void LumoControlPage::buttonModeAnimationCompleted() {
  if (!directionControlHelper_ || !directionControlHelper_->keyMode()) return;
  if (steeringWheel_) steeringWheel_->setHidden(true);
  if (rightControlContainer_) {
    rightControlContainer_->setHidden(false);
    rightControlContainer_->setUserInteractionEnabled(true);
  }
}

}  // namespace lumo
