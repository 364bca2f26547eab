#include "platform/ble/simulated/SimulatedPeripheral.h"

#include "platform/ble/simulated/SimulatedRadio.h"

namespace platform::ble {

SimulatedPeripheral::SimulatedPeripheral(std::optional<std::string> name) : name_(std::move(name)) {}

void SimulatedPeripheral::setValue(const Uuid& characteristic, Bytes value) {
  for (auto& service : services_) {
    for (auto& entry : service.characteristics) {
      if (entry.uuid == characteristic) entry.value = value;
    }
  }
}

std::optional<Bytes> SimulatedPeripheral::value(const Uuid& characteristic) const {
  for (const auto& service : services_) {
    for (const auto& entry : service.characteristics) {
      if (entry.uuid == characteristic) return entry.value;
    }
  }
  return std::nullopt;
}

std::size_t SimulatedPeripheral::notify(const Uuid& characteristic, const Bytes& value) {
  if (notifyTap_) notifyTap_(characteristic, value);
  auto radio = radio_.lock();
  return radio ? radio->deliverNotification(*this, characteristic, value) : 0;
}

void SimulatedPeripheral::dropLinks(const std::string& reason) {
  if (auto radio = radio_.lock()) radio->simulateLinkLoss(*this, reason);
}

bool SimulatedPeripheral::isConnected() const {
  auto radio = radio_.lock();
  return radio && radio->isConnected(*this);
}

void SimulatedPeripheral::setWriteCredits(int capacity, std::optional<dispatch::Seconds> returnDelay) {
  creditCapacity_ = capacity < 1 ? 1 : capacity;
  creditReturnDelay_ = returnDelay;
}

void SimulatedPeripheral::attachToRadio(std::weak_ptr<SimulatedRadio> radio, Uuid identifier) {
  radio_ = std::move(radio);
  identifier_ = identifier;
}

void SimulatedPeripheral::deliverWrite(const Uuid& characteristic, const Bytes& data, WriteType type) {
  if (writeHandler_) writeHandler_(characteristic, data, type);
}

void SimulatedPeripheral::linkChanged(bool connected) {
  if (linkHandler_) linkHandler_(connected);
}

}  // namespace platform::ble
