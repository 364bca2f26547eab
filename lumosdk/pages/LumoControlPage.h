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

/// The full-screen landscape remote-control page for one vehicle. It finds the vehicle over
/// Bluetooth by its advertised name, asks it for control authority, sends a control frame
/// every 150 ms from the user's inputs, shows the vehicle's drive mode and the round-trip
/// delay, and ends the session (full brake, a message, then the page goes away) when control
/// is taken over, the delay grows too large, the vehicle falls silent, the user is inactive
/// or leaves. Main thread only; the link and the codec it drives are process-wide.
class LUMO_EXPORT LumoControlPage : public platform::ui::ViewController, public ControlCallback {
 public:
  /// Tag of the page's log records.
  static constexpr const char* TAG = "LUMOSDK";
  /// Key of the vehicle's backend id among the page's inputs.
  static constexpr const char* EXTRA_DATA_VEHICLE_ID = "EXTRA_DATA_VEHICLE_ID";
  /// Key of the vehicle's display name among the page's inputs.
  static constexpr const char* EXTRA_DATA_VEHICLE_NAME = "EXTRA_DATA_VEHICLE_NAME";
  /// Key of the vehicle's advertised Bluetooth name among the page's inputs.
  static constexpr const char* EXTRA_DATA_BLE_NAME = "EXTRA_DATA_BLE_NAME";
  /// Key of the operator's name among the page's inputs.
  static constexpr const char* EXTRA_DATA_USER_NAME = "EXTRA_DATA_USER_NAME";
  /// Milliseconds between two control frames.
  static constexpr double COMMAND_INTERVAL_MS = 150.0;
  /// Preferences key of the chosen input mode (true: steering wheel).
  static constexpr const char* PREF_KEY_MODE = "steering_wheel_mode";
  /// Seconds without input after which the page asks whether the user is still there.
  static constexpr double INACTIVITY_TIMEOUT = 30.0;  // seconds
  /// Seconds that question counts down before the session ends.
  static constexpr int COUNTDOWN_DURATION = 10;       // seconds
  /// Seconds from the link coming up to the vehicle's first grant of control, before the session ends.
  static constexpr double AUTHORITY_TIMEOUT = 5.0;    // seconds from link up to the first grant
  /// While the phone holds control, this long without a good state frame counts as a delay
  /// beyond any limit: the vehicle no longer answers, so the session ends.
  static constexpr double STATE_SILENCE_LIMIT = 1.0;  // seconds
  /// A round-trip delay above this many milliseconds ends the session.
  static constexpr int MAX_DELAY_MS = 500;
  /// Frames sent before an on-site remote-controller drive mode (4) ends the session.
  static constexpr std::int64_t ON_SITE_GRACE_FRAMES = 50;

  /// A page for one vehicle; LumoSdk::openControlPage makes and presents it with the backend's data.
  static std::shared_ptr<LumoControlPage> make(std::int64_t vehicleId, std::string vehicleName, std::string bleName,
                                               std::string userName);
  /// Use make(): the page hands itself to its timers and listeners.
  LumoControlPage(std::int64_t vehicleId, std::string vehicleName, std::string bleName, std::string userName);
  /// The platform's other creation paths (a nib in a bundle, an archive): the vehicle inputs
  /// stay empty, so such a page ends at once with the empty-name message.
  LumoControlPage(const std::string& nibName, const std::string& bundlePath);
  /// As the nib path: no vehicle inputs.
  explicit LumoControlPage(const platform::foundation::KeyedArchive& archive);
  /// Stops its timers; the link is left to the next page.
  ~LumoControlPage() override;

  // ---- lifecycle
  /// Builds the views and inputs, wires the link's listeners and, once Bluetooth is usable, starts
  /// finding the vehicle. Without a Bluetooth name it shows "蓝牙设备名称为空" and finishes.
  void viewDidLoad() override;
  /// Hides the navigation bar and turns to landscape (LumoSdk::landspace() becomes true).
  void viewWillAppear(bool animated) override;
  /// Lays the views out for the current size.
  void viewDidLayoutSubviews() override;
  /// Lets go of every input and clears LumoSdk::landspace().
  void viewWillDisappear(bool animated) override;
  /// Leaving ends the session (unless only a permission alert covers the page): the link owned by
  /// this page is closed.
  void viewDidDisappear(bool animated) override;

  // ---- orientation: landscape right only
  /// Landscape right only.
  platform::ui::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  /// Landscape right.
  platform::ui::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;
  /// The page turns to landscape when it appears.
  bool shouldAutorotate() const override { return true; }
  /// Sets LumoSdk::landspace() and asks the window's scene for landscape right.
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

  /// The exit button: ends the session with the message "退出中".
  void exitButtonTapped();

  // ---- the mode switches' flags, read by every frame
  /// Whether acceleration mode is on (the throttle's full range).
  bool accelerationModelEnable() const { return accelerationModelEnable_; }
  /// Sets acceleration mode; the next frame uses it.
  void setAccelerationModelEnable(bool enable) { accelerationModelEnable_ = enable; }
  /// Whether the vehicle's anti-collision function is asked for.
  bool enableSafety() const { return enableSafety_; }
  /// Sets the anti-collision request; the next frame carries it.
  void setEnableSafety(bool enable) { enableSafety_ = enable; }

  // ---- session state, for hosts and tests to observe
  /// The vehicle's backend id.
  std::int64_t vehicleId() const { return vehicleId_; }
  /// The vehicle's display name.
  const std::string& vehicleName() const { return vehicleName_; }
  /// The name the vehicle advertises.
  const std::string& bleName() const { return bleName_; }
  /// The operator's name.
  const std::string& userName() const { return userName_; }
  /// Steering input: -1 (left) ... 1 (right).
  float dx() const { return dx_; }
  /// Throttle input: 1 forward, -1 back, 0 none.
  float dy() const { return dy_; }
  /// Control frames sent in this session (the frame tick).
  std::int64_t rollCount() const { return rollCount_; }
  /// The last round-trip delay shown, in milliseconds.
  int delayMs() const { return delayMs_; }
  /// Whether the vehicle has granted this phone control authority in this session.
  bool hasControlAble() const { return hasControlAble_; }
  /// Whether the session is ending: frames then hold full brake until the page goes.
  bool quitFlag() const { return quitFlag_; }
  /// finish has run: nothing of this page writes to the vehicle any more.
  bool isFinished() const { return finished_; }
  /// Whether control frames are being sent.
  bool isCommandLoopRunning() const { return commandTimer_ != nullptr; }
  /// An input is off its rest (a pad pressed, the wheel turned).
  bool isInputHeld() const;
  /// Control was granted while an input was held, and that input has not been let go yet:
  /// every frame holds the brake until it is.
  bool inputHeldSinceGrant() const;

  // ---- the views the session writes to
  /// The page's background view.
  std::shared_ptr<platform::ui::View> controlBg() const { return controlBg_; }
  /// The label with the vehicle's name.
  std::shared_ptr<platform::ui::Label> carNumber() const { return carNumber_; }
  /// The label with the drive mode.
  std::shared_ptr<platform::ui::Label> driveModeText() const { return driveModeText_; }
  /// The label with the round-trip delay.
  std::shared_ptr<platform::ui::Label> delayText() const { return delayText_; }
  /// The panel of the session's warning message.
  std::shared_ptr<platform::ui::View> warningContainer() const { return warningContainer_; }
  /// The warning message's label.
  std::shared_ptr<platform::ui::Label> tvWarningMessage() const { return tvWarningMessage_; }
  /// The exit button.
  std::shared_ptr<platform::ui::View> buttonExit() const { return buttonExit_; }
  /// The logo in the top bar.
  std::shared_ptr<platform::ui::ImageView> logoImageView() const { return logoImageView_; }
  /// The forward pad.
  std::shared_ptr<platform::ui::ImageView> controlPadUp() const { return controlPadUp_; }
  /// The back pad.
  std::shared_ptr<platform::ui::ImageView> controlPadDown() const { return controlPadDown_; }
  /// The left pad (key mode).
  std::shared_ptr<platform::ui::ImageView> controlPadLeft() const { return controlPadLeft_; }
  /// The right pad (key mode).
  std::shared_ptr<platform::ui::ImageView> controlPadRight() const { return controlPadRight_; }
  /// The container of the left and right pads.
  std::shared_ptr<platform::ui::View> rightControlContainer() const { return rightControlContainer_; }
  /// The steering wheel (steering-wheel mode).
  std::shared_ptr<SteeringWheel> steeringWheel() const { return steeringWheel_; }
  /// The switch between pads and steering wheel.
  std::shared_ptr<CustomSwitch> keyModeSwitch() const { return keyModeSwitch_; }
  /// The acceleration mode switch.
  std::shared_ptr<CustomSwitch> accelSwitch() const { return accelSwitch_; }
  /// The anti-collision switch.
  std::shared_ptr<CustomSwitch> safetySwitch() const { return safetySwitch_; }
  /// The page's direction input.
  DirectionControlHelper* directionControlHelper() const { return directionControlHelper_.get(); }

  /// The text shown for a drive mode (state frame byte 0).
  static std::string driveModeName(int mode);

 private:
  /// Building the views.
  void setupUIWithConstraints();
  void setBackgroundGradient();
  std::shared_ptr<platform::ui::View> setupCenterInfoBlock();
  std::shared_ptr<platform::ui::View> makeWarningPanel();
  std::shared_ptr<platform::ui::View> makeExitButton();
  void layoutPageViews();

  /// The inputs: top-bar logo and mode switches, pads, wheel and the direction input.
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

  /// The session.
  void startRecording();
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
  // `cause` is what the session's end is put down to when the user leaves from the dialog.
  void showRetry(const std::string& title, const char* cause);
  void reconnect(const std::string& waitMessage);
  // `reason` is the recording's short code for the ending.
  void quitWithToast(const std::string& message, const char* reason);
  // The forms without a reason stay for the library's binary interface; the ending is then
  // recorded as "other".
  void showRetry(const std::string& title);
  void quitWithToast(const std::string& message);
  void finish();
  bool ownsLink() const;
  void disconnectOwnedLink();

  /// Inactivity and leaving.
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

  /// Vehicle inputs.
  std::int64_t vehicleId_ = 0;
  std::string vehicleName_;
  std::string bleName_;
  std::string userName_;

  /// Session fields.
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
  /// Each link-up (and each retry) opens a new attempt; watchdogs of older attempts do nothing.
  std::uint64_t linkAttempt_ = 0;
  /// When the last good state frame arrived (virtual or real monotonic time).
  std::optional<platform::dispatch::MonoTime> lastStateAt_;
  /// This page's claim on the process-wide link (see ownsLink).
  std::uint64_t linkClaim_ = 0;

  std::shared_ptr<platform::dispatch::TimerSource> commandTimer_;
  std::shared_ptr<platform::dispatch::Timer> inactivityTimer_;
  platform::foundation::UserDefaults* preferences_ = nullptr;
  std::vector<platform::foundation::NotificationCenter::Token> observers_;

  /// Views.
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
