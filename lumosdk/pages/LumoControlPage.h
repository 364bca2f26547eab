#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lumosdk/LumoExport.h"
#include "lumosdk/widgets/ControlCallback.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Bytes.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ViewController.h"

namespace platform::dispatch {
class Timer;
class TimerSource;
}  // namespace platform::dispatch
namespace platform::foundation {
class KeyedArchive;
class UserDefaults;
}  // namespace platform::foundation
namespace platform::ui {
class Button;
class GradientLayer;
class ImageView;
class Label;
class View;
}  // namespace platform::ui

namespace lumo {

enum class ConnectState;
class CustomSwitch;
class DirectionControlHelper;
class SteeringWheel;

// The full-screen landscape remote-control page for one vehicle. It finds the vehicle over
// Bluetooth by its advertised name, asks it for control authority, sends a control frame
// every 150 ms from the user's inputs, shows the vehicle's drive mode and the round-trip
// delay, and ends the session (full brake, a message, then the page goes away) when control
// is taken over, the delay grows too large, the vehicle falls silent, the user is inactive
// or leaves. Main thread only; the link and the codec it drives are process-wide.
class LUMO_EXPORT LumoControlPage : public platform::ui::ViewController, public ControlCallback {
 public:
  static constexpr const char* TAG = "LUMOSDK";
  static constexpr const char* EXTRA_DATA_VEHICLE_ID = "EXTRA_DATA_VEHICLE_ID";
  static constexpr const char* EXTRA_DATA_VEHICLE_NAME = "EXTRA_DATA_VEHICLE_NAME";
  static constexpr const char* EXTRA_DATA_BLE_NAME = "EXTRA_DATA_BLE_NAME";
  static constexpr const char* EXTRA_DATA_USER_NAME = "EXTRA_DATA_USER_NAME";
  static constexpr double COMMAND_INTERVAL_MS = 150.0;
  static constexpr const char* PREF_KEY_MODE = "steering_wheel_mode";
  static constexpr double INACTIVITY_TIMEOUT = 30.0;  // seconds
  static constexpr int COUNTDOWN_DURATION = 10;       // seconds
  static constexpr double AUTHORITY_TIMEOUT = 5.0;    // seconds from link up to the first grant
  // While the phone holds control, this long without a good state frame counts as a delay
  // beyond any limit: the vehicle no longer answers, so the session ends.
  static constexpr double STATE_SILENCE_LIMIT = 1.0;  // seconds
  static constexpr int MAX_DELAY_MS = 500;
  static constexpr std::int64_t ON_SITE_GRACE_FRAMES = 50;

  static std::shared_ptr<LumoControlPage> make(std::int64_t vehicleId, std::string vehicleName, std::string bleName,
                                               std::string userName);
  LumoControlPage(std::int64_t vehicleId, std::string vehicleName, std::string bleName, std::string userName);
  // The platform's other creation paths (a nib in a bundle, an archive): the vehicle inputs
  // stay empty, so such a page ends at once with the empty-name message.
  LumoControlPage(const std::string& nibName, const std::string& bundlePath);
  explicit LumoControlPage(const platform::foundation::KeyedArchive& archive);
  ~LumoControlPage() override;

  // ---- lifecycle
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidLayoutSubviews() override;
  void viewWillDisappear(bool animated) override;
  void viewDidDisappear(bool animated) override;

  // ---- orientation: landscape right only
  platform::ui::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  platform::ui::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;
  bool shouldAutorotate() const override { return true; }
  void setLandscapeOrientation();

  // ---- the direction input's events
  void onForwardSelect() override;
  void onForwardRelease() override;
  void onBackSelect() override;
  void onBackRelease() override;
  void onLeftSelect() override;
  void onLeftRelease() override;
  void onRightSelect() override;
  void onRightRelease() override;
  void onSteeringWheelAngleChanged(float angle) override;

  void exitButtonTapped();

  // ---- the mode switches' flags, read by every frame
  bool accelerationModelEnable() const { return accelerationModelEnable_; }
  void setAccelerationModelEnable(bool enable) { accelerationModelEnable_ = enable; }
  bool enableSafety() const { return enableSafety_; }
  void setEnableSafety(bool enable) { enableSafety_ = enable; }

  // ---- session state, for hosts and tests to observe
  std::int64_t vehicleId() const { return vehicleId_; }
  const std::string& vehicleName() const { return vehicleName_; }
  const std::string& bleName() const { return bleName_; }
  const std::string& userName() const { return userName_; }
  float dx() const { return dx_; }
  float dy() const { return dy_; }
  std::int64_t rollCount() const { return rollCount_; }
  int delayMs() const { return delayMs_; }
  bool hasControlAble() const { return hasControlAble_; }
  bool quitFlag() const { return quitFlag_; }
  // finish has run: nothing of this page writes to the vehicle any more.
  bool isFinished() const { return finished_; }
  bool isCommandLoopRunning() const { return commandTimer_ != nullptr; }
  // An input is off its rest (a pad pressed, the wheel turned).
  bool isInputHeld() const;
  // Control was granted while an input was held, and that input has not been let go yet:
  // every frame holds the brake until it is.
  bool inputHeldSinceGrant() const;

  // ---- the views the session writes to
  std::shared_ptr<platform::ui::View> controlBg() const { return controlBg_; }
  std::shared_ptr<platform::ui::Label> carNumber() const { return carNumber_; }
  std::shared_ptr<platform::ui::Label> driveModeText() const { return driveModeText_; }
  std::shared_ptr<platform::ui::Label> delayText() const { return delayText_; }
  std::shared_ptr<platform::ui::View> warningContainer() const { return warningContainer_; }
  std::shared_ptr<platform::ui::Label> tvWarningMessage() const { return tvWarningMessage_; }
  std::shared_ptr<platform::ui::View> buttonExit() const { return buttonExit_; }
  std::shared_ptr<platform::ui::ImageView> logoImageView() const { return logoImageView_; }
  std::shared_ptr<platform::ui::ImageView> controlPadUp() const { return controlPadUp_; }
  std::shared_ptr<platform::ui::ImageView> controlPadDown() const { return controlPadDown_; }
  std::shared_ptr<platform::ui::ImageView> controlPadLeft() const { return controlPadLeft_; }
  std::shared_ptr<platform::ui::ImageView> controlPadRight() const { return controlPadRight_; }
  std::shared_ptr<platform::ui::View> rightControlContainer() const { return rightControlContainer_; }
  std::shared_ptr<SteeringWheel> steeringWheel() const { return steeringWheel_; }
  std::shared_ptr<CustomSwitch> keyModeSwitch() const { return keyModeSwitch_; }
  std::shared_ptr<CustomSwitch> accelSwitch() const { return accelSwitch_; }
  std::shared_ptr<CustomSwitch> safetySwitch() const { return safetySwitch_; }
  DirectionControlHelper* directionControlHelper() const { return directionControlHelper_.get(); }

  // The text shown for a drive mode (state frame byte 0).
  static std::string driveModeName(int mode);

 private:
  // Building the views.
  void setupUIWithConstraints();
  void setBackgroundGradient();
  std::shared_ptr<platform::ui::View> setupCenterInfoBlock();
  std::shared_ptr<platform::ui::View> makeWarningPanel();
  std::shared_ptr<platform::ui::View> makeExitButton();
  void layoutPageViews();

  // The inputs: top-bar logo and mode switches, pads, wheel and the direction input.
  void setupInputViews();
  std::shared_ptr<platform::ui::View> setupSwitchesStackView();
  std::shared_ptr<platform::ui::View> createSeparator();
  std::shared_ptr<platform::ui::View> createSwitchGroup(const std::string& label,
                                                        const std::shared_ptr<CustomSwitch>& switchView);
  void setupControlArea();
  void layoutInputViews();
  void setupDirectionControl();
  void keyModeSwitchChanged();
  void accelSwitchChanged();
  void safetySwitchChanged();
  void saveSteeringWheelModeToPrefs();
  void logSwitchRecord(const char* tag, bool enable);

  // The session.
  void checkBluetoothPermissions();
  void showPermissionDeniedDialog();
  void setBluetoothListeners();
  void onConnectState(ConnectState state);
  void armAuthorityWatchdog();
  void initCommandTimer();
  void shutdownTimer();
  void sendControlCommand();
  void observeGrants();
  void onState(const platform::Bytes& data);
  void showRetry(const std::string& title);
  void reconnect(const std::string& waitMessage);
  void quitWithToast(const std::string& message);
  void finish();
  bool ownsLink() const;
  void disconnectOwnedLink();

  // Inactivity and leaving.
  void startInactivityTimer();
  void stopInactivityTimer();
  void resetInactivityTimer();
  void showTimeoutDialog();
  void addNotificationObservers();
  void removeNotificationObservers();
  void applicationWillResignActive();
  void steeringWheelAnimationCompleted();
  void buttonModeAnimationCompleted();
  bool isOnScreenAndActive() const;
  void throttleInputChanged(float value);
  void steeringInputChanged(float value);

  std::weak_ptr<LumoControlPage> weakSelf();
  std::shared_ptr<LumoControlPage> strongSelf();

  // Vehicle inputs.
  std::int64_t vehicleId_ = 0;
  std::string vehicleName_;
  std::string bleName_;
  std::string userName_;

  // Session fields.
  float dx_ = 0;
  float dy_ = 0;
  std::int64_t rollCount_ = 0;
  int delayMs_ = 0;
  bool hasControlAble_ = false;
  bool grantedSinceLinkUp_ = false;
  // The codec's grant count as this page last took it in (see observeGrants).
  std::uint64_t seenGrantCount_ = 0;
  // Held when control was granted and not let go since.
  bool throttleHeldAtGrant_ = false;
  bool steeringHeldAtGrant_ = false;
  bool quitFlag_ = false;
  bool finished_ = false;
  bool accelerationModelEnable_ = false;
  bool enableSafety_ = true;
  // Each link-up (and each retry) opens a new attempt; watchdogs of older attempts do nothing.
  std::uint64_t linkAttempt_ = 0;
  // When the last good state frame arrived (virtual or real monotonic time).
  std::optional<platform::dispatch::MonoTime> lastStateAt_;
  // This page's claim on the process-wide link (see ownsLink).
  std::uint64_t linkClaim_ = 0;

  std::shared_ptr<platform::dispatch::TimerSource> commandTimer_;
  std::shared_ptr<platform::dispatch::Timer> inactivityTimer_;
  platform::foundation::UserDefaults* preferences_ = nullptr;
  std::vector<platform::foundation::NotificationCenter::Token> observers_;

  // Views.
  std::shared_ptr<platform::ui::GradientLayer> gradientLayer_;
  std::shared_ptr<platform::ui::View> controlBg_;
  std::shared_ptr<platform::ui::Label> carNumber_;
  std::shared_ptr<platform::ui::Label> driveModeText_;
  std::shared_ptr<platform::ui::Label> delayText_;
  std::shared_ptr<platform::ui::View> warningContainer_;
  std::shared_ptr<platform::ui::Label> tvWarningMessage_;
  std::shared_ptr<platform::ui::View> buttonExit_;
  std::shared_ptr<platform::ui::View> centerBlock_;
  std::shared_ptr<platform::ui::ImageView> bluetoothIcon_;
  std::shared_ptr<platform::ui::ImageView> logoImageView_;
  std::shared_ptr<platform::ui::View> logoSeparator_;
  std::shared_ptr<platform::ui::View> switchRow_;
  std::shared_ptr<CustomSwitch> keyModeSwitch_;
  std::shared_ptr<CustomSwitch> accelSwitch_;
  std::shared_ptr<CustomSwitch> safetySwitch_;
  std::shared_ptr<platform::ui::View> leftControlContainer_;
  std::shared_ptr<platform::ui::View> rightControlContainer_;
  std::shared_ptr<platform::ui::ImageView> controlPadUp_;
  std::shared_ptr<platform::ui::ImageView> controlPadDown_;
  std::shared_ptr<platform::ui::ImageView> controlPadLeft_;
  std::shared_ptr<platform::ui::ImageView> controlPadRight_;
  std::shared_ptr<SteeringWheel> steeringWheel_;
  std::unique_ptr<DirectionControlHelper> directionControlHelper_;
};

}  // namespace lumo
