#include "platform/ble/simulated/SimulatedRadio.h"

#include <algorithm>

#include "platform/ble/simulated/SimulatedCentral.h"
#include "platform/dispatch/Timer.h"

namespace platform::ble {

std::shared_ptr<SimulatedRadio> SimulatedRadio::make() {
  return std::shared_ptr<SimulatedRadio>(new SimulatedRadio());
}

SimulatedRadio::~SimulatedRadio() {
  for (auto& timer : advertisingTimers_) {
    if (timer) timer->invalidate();
  }
}

std::shared_ptr<CentralBackend> SimulatedRadio::makeCentralBackend(const CentralManagerOptions& options) {
  auto central = std::make_shared<SimulatedCentral>(weak_from_this(), options);
  // Forget centrals whose handles are gone, so the list does not grow with every new one.
  std::erase_if(centrals_, [](const std::weak_ptr<SimulatedCentral>& weak) {
    auto live = weak.lock();
    return !live || !live->isAlive();
  });
  centrals_.push_back(central);
  record(std::string("central showPowerAlert=") + (options.showPowerAlert ? "1" : "0"));
  if (options.showPowerAlert && adapterState_ == ManagerState::poweredOff) {
    ++powerAlertsShown_;
    record("powerAlert");
  }
  return central;
}

std::vector<std::shared_ptr<SimulatedCentral>> SimulatedRadio::centrals() const {
  std::vector<std::shared_ptr<SimulatedCentral>> live;
  for (const auto& weak : centrals_) {
    if (auto central = weak.lock()) live.push_back(central);
  }
  return live;
}

std::size_t SimulatedRadio::liveCentrals() const {
  std::size_t count = 0;
  for (const auto& central : centrals()) count += central->isAlive() ? 1 : 0;
  return count;
}

void SimulatedRadio::setAdapterState(ManagerState state) {
  record("adapter " + std::to_string(static_cast<int>(state)));
  adapterState_ = state;
  for (const auto& central : centrals()) central->adapterChanged(state);
  scanningChanged();
}

void SimulatedRadio::addPeripheral(const std::shared_ptr<SimulatedPeripheral>& peripheral) {
  if (!peripheral) return;
  if (std::find(devices_.begin(), devices_.end(), peripheral) != devices_.end()) return;
  peripheral->attachToRadio(weak_from_this(), Uuid::fromSequence(nextIdentifier_++));
  devices_.push_back(peripheral);
  scanningChanged();
}

void SimulatedRadio::removePeripheral(const SimulatedPeripheral& peripheral) {
  simulateLinkLoss(peripheral, "The connection has timed out unexpectedly.");
  std::erase_if(devices_, [&](const auto& device) { return device.get() == &peripheral; });
  scanningChanged();
}

std::shared_ptr<SimulatedPeripheral> SimulatedRadio::device(const Uuid& identifier) const {
  for (const auto& device : devices_) {
    if (device->identifier() == identifier) return device;
  }
  return nullptr;
}

void SimulatedRadio::simulateAdvertisement(const SimulatedPeripheral& peripheral) { advertise(peripheral); }

void SimulatedRadio::advertise(const SimulatedPeripheral& peripheral) {
  if (adapterState_ != ManagerState::poweredOn) return;
  for (const auto& central : centrals()) central->advertisement(peripheral);
}

void SimulatedRadio::scanningChanged() {
  for (auto& timer : advertisingTimers_) {
    if (timer) timer->invalidate();
  }
  advertisingTimers_.clear();
  bool anyScanning = false;
  for (const auto& central : centrals()) anyScanning = anyScanning || central->isScanning();
  if (!anyScanning || adapterState_ != ManagerState::poweredOn) return;
  for (const auto& device : devices_) {
    std::weak_ptr<SimulatedPeripheral> weakDevice = device;
    std::weak_ptr<SimulatedRadio> weakRadio = weak_from_this();
    advertisingTimers_.push_back(dispatch::Timer::scheduled(
        device->advertisingInterval(), true, [weakDevice, weakRadio](dispatch::Timer&) {
          auto device = weakDevice.lock();
          auto radio = weakRadio.lock();
          // A device with a link stops advertising, like the vehicle does.
          if (device && radio && !radio->isConnected(*device)) radio->advertise(*device);
        }));
  }
}

void SimulatedRadio::simulateConnectionFailure(std::string description) {
  connectReplies_.push_back({ConnectReply::Kind::fail, std::move(description)});
}

void SimulatedRadio::simulateConnectionStall() { connectReplies_.push_back({ConnectReply::Kind::stall, {}}); }

void SimulatedRadio::simulateWriteFailure(std::string description) {
  writeFailures_.push_back(std::move(description));
}

SimulatedRadio::ConnectReply SimulatedRadio::takeConnectReply() {
  if (connectReplies_.empty()) return {};
  ConnectReply reply = connectReplies_.front();
  connectReplies_.pop_front();
  return reply;
}

std::optional<std::string> SimulatedRadio::takeWriteFailure() {
  if (writeFailures_.empty()) return std::nullopt;
  std::string failure = writeFailures_.front();
  writeFailures_.pop_front();
  return failure;
}

void SimulatedRadio::simulateLinkLoss(const SimulatedPeripheral& peripheral, const std::string& reason) {
  bool wasConnected = isConnected(peripheral);
  record("linkLoss " + peripheral.identifier().fullString());
  for (const auto& central : centrals()) central->linkLost(peripheral.identifier(), reason);
  if (wasConnected) {
    if (auto device = this->device(peripheral.identifier())) device->linkChanged(false);
  }
}

bool SimulatedRadio::isConnected(const SimulatedPeripheral& peripheral) const {
  for (const auto& central : centrals()) {
    if (central->isConnected(peripheral.identifier())) return true;
  }
  return false;
}

void SimulatedRadio::returnWriteCredits(const SimulatedPeripheral& peripheral, int count) {
  for (const auto& central : centrals()) central->returnCredits(peripheral.identifier(), count);
}

std::size_t SimulatedRadio::deliverNotification(const SimulatedPeripheral& peripheral, const Uuid& characteristic,
                                                const Bytes& value) {
  std::size_t delivered = 0;
  for (const auto& central : centrals()) delivered += central->notify(peripheral.identifier(), characteristic, value);
  return delivered;
}

std::size_t SimulatedRadio::countOperations(const std::string& prefix) const {
  return static_cast<std::size_t>(std::count_if(operations_.begin(), operations_.end(), [&](const std::string& op) {
    return op.compare(0, prefix.size(), prefix) == 0;
  }));
}

void SimulatedRadio::record(std::string operation) {
  if (operations_.size() >= kOperationRecordLimit) operations_.pop_front();
  operations_.push_back(std::move(operation));
}

}  // namespace platform::ble
