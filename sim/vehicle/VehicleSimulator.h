#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ble/Uuid.h"
#include "platform/ble/simulated/SimulatedPeripheral.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/dispatch/Clock.h"
#include "sim/vehicle/VehicleFrames.h"
#include "sim/vehicle/VehicleModel.h"

namespace platform::dispatch {
class Timer;
}

namespace sim {

// The delivery vehicle as a simulated Bluetooth peripheral. It advertises its name, offers a
// device-information service and, last, its vehicle service with a notifying state
// characteristic and a write-without-response control characteristic. It grants control
// after request frames have come in for a while, echoes ticks, moves a small vehicle model,
// brakes when the phone falls silent, and can be told to misbehave. Main thread only.
class VehicleSimulator {
 public:
  static const platform::ble::Uuid& vehicleService();
  static const platform::ble::Uuid& stateCharacteristic();
  static const platform::ble::Uuid& controlCharacteristic();
  static const platform::ble::Uuid& deviceInfoService();

  enum DriveMode : std::uint8_t {
    ready = 0, autonomous = 1, onSiteTakeover = 4, remoteTakeover = 5, safetyTakeover = 6, phoneControl = 8,
  };

  // Adds itself to `radio` under the advertised `name` (white space kept as given).
  VehicleSimulator(std::shared_ptr<platform::ble::SimulatedRadio> radio, std::optional<std::string> name);
  ~VehicleSimulator();
  VehicleSimulator(const VehicleSimulator&) = delete;
  VehicleSimulator& operator=(const VehicleSimulator&) = delete;

  const std::shared_ptr<platform::ble::SimulatedPeripheral>& peripheral() const { return peripheral_; }

  // --- behaviour settings
  void setStatePeriod(platform::dispatch::Seconds period) { statePeriod_ = period; }
  // How long request frames must keep arriving before control is granted.
  void setGrantDelay(platform::dispatch::Seconds delay) { grantDelay_ = delay; }
  // The echo of a tick shows up in state frames only this long after the frame arrived.
  void lag(int milliseconds) { lag_ = platform::dispatch::Seconds(milliseconds / 1000.0); }
  // The drive mode reported while the phone holds control and nothing has taken over
  // (remoteTakeover unless told otherwise; any byte, unknown ones included).
  void setGrantedDriveMode(std::uint8_t mode) { grantedMode_ = mode; }

  // --- things that happen to the vehicle
  void grantControl();
  void withdrawControl();
  void takeOverRemotely();   // mode 5, control withdrawn
  void takeOverOnSite();     // mode 4, control withdrawn
  void takeOverForSafety();  // mode 6, control as it was
  void releaseTakeover();    // back to normal operation
  void sendBadChecksums(bool on) { badChecksums_ = on; }
  void repeatFrames(bool on) { repeatFrames_ = on; }
  void sendShortFrames(bool on) { shortFrames_ = on; }
  void dropLink();
  // The vehicle keeps its link but sends no state frames (a hung controller).
  void setSilent(bool silent) { silent_ = silent; }
  // Sees every control frame the vehicle accepts, in arrival order.
  void setFrameObserver(std::function<void(const ControlFrame&)> observer) { frameObserver_ = std::move(observer); }
  void setDoorOpen(bool open) { model_.setDoorOpen(open); }

  // --- what can be observed
  bool hasControlGranted() const { return controlGranted_; }
  std::uint8_t driveMode() const;
  const VehicleModel& model() const { return model_; }
  bool isWatchdogBraking() const { return watchdogBraking_; }
  std::uint64_t acceptedFrames() const { return acceptedFrames_; }
  std::uint64_t rejectedFrames() const { return rejectedFrames_; }
  std::uint64_t requestFrames() const { return requestFrames_; }
  std::uint64_t stateFramesSent() const { return stateFramesSent_; }
  // How many times a phone connected; a new connection starts without control.
  std::uint64_t connections() const { return connections_; }
  const std::optional<ControlFrame>& lastControlFrame() const { return lastFrame_; }
  std::size_t pendingEchoes() const { return echoes_.size(); }

  static constexpr double kWatchdogSeconds = 0.5;

 private:
  void onWrite(const platform::ble::Uuid& characteristic, const platform::Bytes& data);
  void onLink(bool connected);
  void tick();
  std::optional<std::uint8_t> echoNow();

  std::shared_ptr<platform::ble::SimulatedRadio> radio_;
  std::shared_ptr<platform::ble::SimulatedPeripheral> peripheral_;
  std::shared_ptr<platform::dispatch::Timer> stateTimer_;
  platform::dispatch::Seconds statePeriod_{0.1};
  platform::dispatch::Seconds grantDelay_{0.3};
  platform::dispatch::Seconds lag_{0};
  VehicleModel model_;

  bool controlGranted_ = false;
  std::uint8_t grantedMode_ = remoteTakeover;
  std::optional<DriveMode> takeover_;
  std::optional<double> requestingSince_;   // monotonic seconds
  std::optional<double> lastGoodFrameAt_;
  std::optional<ControlFrame> lastFrame_;
  bool watchdogBraking_ = true;
  struct Echo {
    double receivedAt;
    std::uint8_t tick;
  };
  std::deque<Echo> echoes_;
  std::optional<std::uint8_t> lastEcho_;
  std::uint8_t rollingNumber_ = 0;
  double lastStepAt_ = 0;

  bool badChecksums_ = false;
  bool repeatFrames_ = false;
  bool shortFrames_ = false;
  bool silent_ = false;
  bool linked_ = false;
  std::function<void(const ControlFrame&)> frameObserver_;

  std::uint64_t acceptedFrames_ = 0;
  std::uint64_t rejectedFrames_ = 0;
  std::uint64_t requestFrames_ = 0;
  std::uint64_t stateFramesSent_ = 0;
  std::uint64_t connections_ = 0;
};

}  // namespace sim
