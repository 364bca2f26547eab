#include "sim/vehicle/VehicleSimulator.h"

#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/Timer.h"

namespace sim {

using platform::Bytes;
using platform::ble::SimulatedPeripheral;
using platform::ble::Uuid;
namespace property = platform::ble::property;

namespace {

double nowSeconds() {
  return std::chrono::duration<double>(platform::dispatch::Scheduler::clock().now()).count();
}

// Instants are compared as doubles; a nanosecond of slack keeps equal instants equal.
constexpr double kEpsilon = 1e-9;

}  // namespace

const Uuid& VehicleSimulator::vehicleService() {
  static const Uuid uuid = *Uuid::fromString("4C554D4F-5601-4A10-9E3C-0000000000A0");
  return uuid;
}
const Uuid& VehicleSimulator::stateCharacteristic() {
  static const Uuid uuid = *Uuid::fromString("4C554D4F-5601-4A10-9E3C-0000000000A1");
  return uuid;
}
const Uuid& VehicleSimulator::controlCharacteristic() {
  static const Uuid uuid = *Uuid::fromString("4C554D4F-5601-4A10-9E3C-0000000000A2");
  return uuid;
}
const Uuid& VehicleSimulator::deviceInfoService() {
  static const Uuid uuid = Uuid::fromShort(0x180A);
  return uuid;
}

VehicleSimulator::VehicleSimulator(std::shared_ptr<platform::ble::SimulatedRadio> radio,
                                   std::optional<std::string> name)
    : radio_(std::move(radio)), peripheral_(std::make_shared<SimulatedPeripheral>(std::move(name))) {
  std::string maker = "Lumo Robotics";
  peripheral_->addService({deviceInfoService(),
                           {{Uuid::fromShort(0x2A29), property::read, Bytes(maker.begin(), maker.end())}}});
  peripheral_->addService({vehicleService(),
                           {{stateCharacteristic(), property::notify, {}},
                            {controlCharacteristic(), property::writeWithoutResponse, {}}}});
  peripheral_->setWriteHandler(
      [this](const Uuid& characteristic, const Bytes& data, platform::ble::WriteType) { onWrite(characteristic, data); });
  peripheral_->setLinkHandler([this](bool connected) { onLink(connected); });
  if (radio_) radio_->addPeripheral(peripheral_);
}

VehicleSimulator::~VehicleSimulator() {
  if (stateTimer_) stateTimer_->invalidate();
  peripheral_->setWriteHandler(nullptr);
  peripheral_->setLinkHandler(nullptr);
  if (radio_) radio_->removePeripheral(*peripheral_);
}

std::uint8_t VehicleSimulator::driveMode() const {
  if (takeover_) return *takeover_;
  return controlGranted_ ? grantedMode_ : static_cast<std::uint8_t>(ready);
}

void VehicleSimulator::grantControl() { controlGranted_ = true; }

void VehicleSimulator::withdrawControl() {
  controlGranted_ = false;
  requestingSince_.reset();
}

void VehicleSimulator::takeOverRemotely() {
  takeover_ = remoteTakeover;
  withdrawControl();
}

void VehicleSimulator::takeOverOnSite() {
  takeover_ = onSiteTakeover;
  withdrawControl();
}

void VehicleSimulator::takeOverForSafety() { takeover_ = safetyTakeover; }

void VehicleSimulator::releaseTakeover() { takeover_.reset(); }

void VehicleSimulator::dropLink() {
  if (radio_) radio_->simulateLinkLoss(*peripheral_);
}

void VehicleSimulator::onWrite(const Uuid& characteristic, const Bytes& data) {
  if (characteristic != controlCharacteristic()) return;
  auto frame = VehicleFrames::parseControl(data);
  if (!frame) {
    ++rejectedFrames_;
    return;
  }
  double now = nowSeconds();
  ++acceptedFrames_;
  lastFrame_ = frame;
  lastGoodFrameAt_ = now;
  echoes_.push_back({now, static_cast<std::uint8_t>(frame->tick & 0xFF)});
  if (!frame->enableCmd) {
    requestingSince_.reset();
  } else {
    ++requestFrames_;
    if (!requestingSince_) requestingSince_ = now;
    bool blocked = takeover_ && *takeover_ != safetyTakeover;
    if (!controlGranted_ && !blocked && now - *requestingSince_ + kEpsilon >= grantDelay_.count()) {
      controlGranted_ = true;
    }
  }
  // After the vehicle's own reaction, so an observer sees the grant a frame brought about.
  if (frameObserver_) frameObserver_(*frame);
}

void VehicleSimulator::onLink(bool connected) {
  linked_ = connected;
  // A vehicle that loses its phone forgets the session: control, pending echoes, watchdog.
  controlGranted_ = false;
  requestingSince_.reset();
  lastGoodFrameAt_.reset();
  echoes_.clear();
  lastEcho_.reset();
  watchdogBraking_ = true;
  // Without a phone the vehicle still moves: it brakes to a stop on its own (tick), then rests.
  if (!connected) return;
  ++connections_;
  if (stateTimer_) stateTimer_->invalidate();
  lastStepAt_ = nowSeconds();
  stateTimer_ = platform::dispatch::Timer::scheduled(statePeriod_, true, [this](platform::dispatch::Timer&) { tick(); });
}

std::optional<std::uint8_t> VehicleSimulator::echoNow() {
  double now = nowSeconds();
  while (!echoes_.empty() && echoes_.front().receivedAt + lag_.count() <= now + kEpsilon) {
    lastEcho_ = echoes_.front().tick;
    echoes_.pop_front();
  }
  return lastEcho_;
}

void VehicleSimulator::tick() {
  double now = nowSeconds();
  watchdogBraking_ = !lastGoodFrameAt_ || now - *lastGoodFrameAt_ + kEpsilon >= kWatchdogSeconds;
  int throttle = 0;
  int brake = 30;
  int steering = lastFrame_ ? lastFrame_->steering : 0;
  if (!watchdogBraking_ && controlGranted_ && lastFrame_) {
    throttle = lastFrame_->throttle;
    brake = lastFrame_->brake;
  }
  model_.step(now - lastStepAt_, throttle, brake, steering);
  lastStepAt_ = now;
  if (!linked_) {
    if (model_.speed() == 0 && stateTimer_) stateTimer_->invalidate();
    return;
  }

  StateFrame state;
  state.driveMode = driveMode();
  state.canControl = controlGranted_;
  state.antiCollision = lastFrame_ && lastFrame_->enableAntiCollision;
  state.echoedTick = echoNow().value_or(0);
  state.rollingNumber = rollingNumber_++;
  if (silent_) return;
  Bytes frame = VehicleFrames::buildState(state);
  if (badChecksums_) frame[7] = static_cast<std::uint8_t>(~frame[7]);
  if (shortFrames_) frame.pop_back();
  peripheral_->notify(stateCharacteristic(), frame);
  ++stateFramesSent_;
  if (repeatFrames_) {
    peripheral_->notify(stateCharacteristic(), frame);
    ++stateFramesSent_;
  }
}

}  // namespace sim
