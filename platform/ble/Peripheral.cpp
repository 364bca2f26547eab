#include "platform/ble/Peripheral.h"

namespace platform::ble {

Peripheral::Peripheral(Uuid identifier, std::shared_ptr<PeripheralBackend> backend)
    : identifier_(identifier), backend_(std::move(backend)) {}

// A handle without a back-end behaves as a device that is out of reach.
PeripheralState Peripheral::state() const {
  return backend_ ? backend_->state() : PeripheralState::disconnected;
}

void Peripheral::discoverServices() {
  if (backend_) backend_->discoverServices(*this);
}

void Peripheral::discoverCharacteristics(Service& service) {
  if (backend_) backend_->discoverCharacteristics(*this, service);
}

void Peripheral::readValue(Characteristic& characteristic) {
  if (backend_) backend_->readValue(*this, characteristic);
}

void Peripheral::setNotifyValue(bool enabled, Characteristic& characteristic) {
  if (backend_) backend_->setNotifyValue(*this, enabled, characteristic);
}

void Peripheral::writeValue(const Bytes& data, Characteristic& characteristic, WriteType type) {
  if (backend_) backend_->writeValue(*this, data, characteristic, type);
}

std::size_t Peripheral::maximumWriteValueLength(WriteType type) const {
  return backend_ ? backend_->maximumWriteValueLength(type) : 0;
}

bool Peripheral::canSendWriteWithoutResponse() const {
  return backend_ && backend_->canSendWriteWithoutResponse();
}

}  // namespace platform::ble
