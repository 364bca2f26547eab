#include "platform/ble/simulated/SimulatedLink.h"

#include <algorithm>
#include <cstdio>

#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/dispatch/DispatchQueue.h"

namespace platform::ble {

using dispatch::DispatchQueue;

namespace {

std::string hex(const Bytes& data) {
  std::string out;
  out.reserve(data.size() * 2);
  char digits[3];
  for (auto byte : data) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    out += digits;
  }
  return out;
}

}  // namespace

SimulatedLink::SimulatedLink(std::weak_ptr<SimulatedRadio> radio, Uuid device)
    : radio_(std::move(radio)), device_(device) {}

std::string SimulatedLink::describe() const { return device_.fullString(); }

void SimulatedLink::postToDelegate(std::function<void(Peripheral&, PeripheralDelegate&)> call) {
  DispatchQueue::main()->async([weakHandle = handle_, call = std::move(call)] {
    auto handle = weakHandle.lock();
    if (!handle) return;
    if (auto delegate = handle->delegate()) call(*handle, *delegate);
  });
}

std::optional<SimulatedLink::CharacteristicKey> SimulatedLink::keyOf(const Characteristic& characteristic) {
  auto service = characteristic.service();
  if (!service) return std::nullopt;
  return CharacteristicKey{service->uuid(), characteristic.uuid()};
}

std::uint64_t SimulatedLink::beginConnecting() {
  state_ = PeripheralState::connecting;
  return ++generation_;
}

void SimulatedLink::establish() {
  auto radio = radio_.lock();
  auto device = radio ? radio->device(device_) : nullptr;
  state_ = PeripheralState::connected;
  credits_ = device ? device->writeCreditCapacity() : 1;
  subscriptions_.clear();
}

void SimulatedLink::end() {
  state_ = PeripheralState::disconnected;
  ++generation_;
  subscriptions_.clear();
  if (auto handle = handle_.lock()) {
    if (handle->services()) {
      for (const auto& service : *handle->services()) {
        if (!service->characteristics()) continue;
        for (const auto& characteristic : *service->characteristics()) characteristic->setNotifying(false);
      }
    }
  }
}

void SimulatedLink::discoverServices(Peripheral& peripheral) {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record("discoverServices " + describe());
  if (state_ != PeripheralState::connected) return;
  std::uint64_t generation = generation_;
  postToDelegate([weakSelf = weak_from_this(), generation](Peripheral& handle, PeripheralDelegate& delegate) {
    auto self = weakSelf.lock();
    auto radio = self ? self->radio_.lock() : nullptr;
    auto device = radio ? radio->device(self->device_) : nullptr;
    if (!self || !device || !self->isCurrent(generation)) return;
    // Objects already handed out keep their identity across a second discovery.
    std::vector<std::shared_ptr<Service>> services;
    for (const auto& entry : device->services()) {
      std::shared_ptr<Service> existing;
      if (handle.services()) {
        for (const auto& old : *handle.services()) {
          if (old->uuid() == entry.uuid) existing = old;
        }
      }
      services.push_back(existing ? existing : std::make_shared<Service>(entry.uuid, handle.weak_from_this()));
    }
    handle.setServices(std::move(services));
    delegate.didDiscoverServices(handle, std::nullopt);
  });
  (void)peripheral;
}

void SimulatedLink::discoverCharacteristics(Peripheral& peripheral, Service& service) {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record("discoverCharacteristics " + describe() + " " + service.uuid().uuidString());
  if (state_ != PeripheralState::connected) return;
  std::uint64_t generation = generation_;
  auto serviceHandle = std::shared_ptr<Service>(peripheral.shared_from_this(), &service);
  postToDelegate([weakSelf = weak_from_this(), generation, serviceHandle](Peripheral& handle,
                                                                          PeripheralDelegate& delegate) {
    auto self = weakSelf.lock();
    auto radio = self ? self->radio_.lock() : nullptr;
    auto device = radio ? radio->device(self->device_) : nullptr;
    if (!self || !device || !self->isCurrent(generation)) return;
    std::shared_ptr<Service> owner;
    if (handle.services()) {
      for (const auto& candidate : *handle.services()) {
        if (candidate.get() == serviceHandle.get()) owner = candidate;
      }
    }
    if (!owner) return;
    for (const auto& entry : device->services()) {
      if (entry.uuid != owner->uuid()) continue;
      std::vector<std::shared_ptr<Characteristic>> characteristics;
      for (const auto& item : entry.characteristics) {
        characteristics.push_back(std::make_shared<Characteristic>(item.uuid, item.properties, owner));
      }
      owner->setCharacteristics(std::move(characteristics));
      break;
    }
    delegate.didDiscoverCharacteristics(handle, *owner, std::nullopt);
  });
}

std::shared_ptr<Characteristic> SimulatedLink::mirror(const Uuid& characteristic) const {
  auto handle = handle_.lock();
  if (!handle || !handle->services()) return nullptr;
  for (const auto& service : *handle->services()) {
    if (!service->characteristics()) continue;
    for (const auto& candidate : *service->characteristics()) {
      if (candidate->uuid() == characteristic) return candidate;
    }
  }
  return nullptr;
}

void SimulatedLink::readValue(Peripheral&, Characteristic& characteristic) {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record("read " + describe() + " " + characteristic.uuid().uuidString());
  if (state_ != PeripheralState::connected) return;
  auto target = mirror(characteristic.uuid());
  auto device = radio->device(device_);
  if (!target || !device) return;
  std::optional<Error> error;
  if (!target->hasProperty(property::read)) error = Error{"Reading is not permitted."};
  Bytes value = device->value(characteristic.uuid()).value_or(Bytes{});
  postToDelegate([target, value, error](Peripheral& handle, PeripheralDelegate& delegate) {
    if (!error) target->setValue(value);
    delegate.didUpdateValue(handle, *target, error);
  });
}

void SimulatedLink::setNotifyValue(Peripheral&, bool enabled, Characteristic& characteristic) {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record("notify " + describe() + " " + characteristic.uuid().uuidString() + (enabled ? " on" : " off"));
  auto key = keyOf(characteristic);
  auto target = mirror(characteristic.uuid());
  if (state_ != PeripheralState::connected || !key || !target) return;
  std::optional<Error> error;
  if (!target->hasProperty(property::notify) && !target->hasProperty(property::indicate)) {
    error = Error{"The characteristic does not support notifications."};
  } else if (enabled) {
    subscriptions_.insert(*key);
  } else {
    subscriptions_.erase(*key);
  }
  postToDelegate([target, enabled, error](Peripheral& handle, PeripheralDelegate& delegate) {
    if (!error) target->setNotifying(enabled);
    delegate.didUpdateNotificationState(handle, *target, error);
  });
}

void SimulatedLink::writeValue(Peripheral&, const Bytes& data, Characteristic& characteristic, WriteType type) {
  auto radio = radio_.lock();
  if (!radio) return;
  bool withResponse = type == WriteType::withResponse;
  std::string what = describe() + " " + characteristic.uuid().uuidString() +
                     (withResponse ? " withResponse " : " withoutResponse ") + hex(data);
  if (state_ != PeripheralState::connected) {
    radio->record("writeIgnored " + what);
    return;
  }
  if (!withResponse) {
    // Like the phone, a write without response made without a credit is lost.
    if (credits_ <= 0) {
      radio->record("writeDropped " + what);
      return;
    }
    takeCredit();
  }
  radio->record("write " + what);
  auto target = mirror(characteristic.uuid());
  std::optional<std::string> failure = withResponse ? radio->takeWriteFailure() : std::nullopt;
  std::uint64_t generation = generation_;
  Uuid uuid = characteristic.uuid();
  DispatchQueue::main()->async([weakSelf = weak_from_this(), generation, uuid, data, type, failure] {
    auto self = weakSelf.lock();
    auto radio = self ? self->radio_.lock() : nullptr;
    auto device = radio ? radio->device(self->device_) : nullptr;
    if (!self || !device || !self->isCurrent(generation)) return;
    if (!failure) device->deliverWrite(uuid, data, type);
  });
  if (withResponse && target) {
    postToDelegate([target, failure](Peripheral& handle, PeripheralDelegate& delegate) {
      std::optional<Error> error;
      if (failure) error = Error{*failure};
      delegate.didWriteValue(handle, *target, error);
    });
  }
}

void SimulatedLink::takeCredit() {
  --credits_;
  auto radio = radio_.lock();
  auto device = radio ? radio->device(device_) : nullptr;
  if (!device || !device->creditReturnDelay()) return;
  std::uint64_t generation = generation_;
  DispatchQueue::main()->asyncAfter(*device->creditReturnDelay(), [weakSelf = weak_from_this(), generation] {
    auto self = weakSelf.lock();
    if (self && self->isCurrent(generation)) self->returnCredits(1);
  });
}

void SimulatedLink::returnCredits(int count) {
  if (state_ != PeripheralState::connected || count <= 0) return;
  auto radio = radio_.lock();
  auto device = radio ? radio->device(device_) : nullptr;
  int capacity = device ? device->writeCreditCapacity() : 1;
  bool wasBlocked = credits_ <= 0;
  credits_ = std::min(capacity, credits_ + count);
  if (wasBlocked && credits_ > 0) {
    postToDelegate([](Peripheral& handle, PeripheralDelegate& delegate) {
      delegate.isReadyToSendWriteWithoutResponse(handle);
    });
  }
}

std::size_t SimulatedLink::maximumWriteValueLength(WriteType type) const {
  if (type == WriteType::withResponse) return 512;
  auto radio = radio_.lock();
  auto device = radio ? radio->device(device_) : nullptr;
  return device ? device->maximumWriteLength() : 20;
}

bool SimulatedLink::canSendWriteWithoutResponse() const {
  return state_ == PeripheralState::connected && credits_ > 0;
}

bool SimulatedLink::deliverNotification(const Uuid& characteristic, const Bytes& value) {
  if (state_ != PeripheralState::connected) return false;
  bool subscribed = false;
  for (const auto& key : subscriptions_) subscribed = subscribed || key.second == characteristic;
  auto target = mirror(characteristic);
  if (!subscribed || !target) return false;
  std::uint64_t generation = generation_;
  // The value lands in the characteristic when the callback runs, so each callback sees its own.
  postToDelegate([weakSelf = weak_from_this(), generation, target, value](Peripheral& handle,
                                                                         PeripheralDelegate& delegate) {
    auto self = weakSelf.lock();
    if (!self || !self->isCurrent(generation)) return;
    target->setValue(value);
    delegate.didUpdateValue(handle, *target, std::nullopt);
  });
  return true;
}

}  // namespace platform::ble
