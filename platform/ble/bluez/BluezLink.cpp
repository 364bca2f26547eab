#include "platform/ble/bluez/BluezLink.h"

#include <algorithm>

#include "platform/ble/bluez/BluezCentral.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"

namespace platform::ble {

using dispatch::DispatchQueue;
using foundation::ConsoleLog;

namespace {
std::optional<Error> errorOf(const BluezBus::Reply& reply) {
  if (reply.ok()) return std::nullopt;
  return Error{reply.errorMessage.empty() ? *reply.errorName : reply.errorMessage};
}
}  // namespace

BluezLink::BluezLink(std::weak_ptr<BluezCentral> central, std::string devicePath)
    : central_(std::move(central)), devicePath_(std::move(devicePath)) {}

void BluezLink::postToDelegate(std::function<void(Peripheral&, PeripheralDelegate&)> call) {
  DispatchQueue::main()->async([weakHandle = handle_, call = std::move(call)] {
    auto handle = weakHandle.lock();
    if (!handle) return;
    if (auto delegate = handle->delegate()) call(*handle, *delegate);
  });
}

std::uint64_t BluezLink::beginConnecting() {
  state_ = PeripheralState::connecting;
  return ++generation_;
}

void BluezLink::establish() {
  state_ = PeripheralState::connected;
  ++generation_;
  outstandingWrites_ = 0;
  acquiredMtu_.reset();
  askedForMtu_ = false;
  notifying_.clear();
}

void BluezLink::end() {
  state_ = PeripheralState::disconnected;
  ++generation_;
  servicesWanted_ = false;
  notifying_.clear();
  for (auto& [path, characteristic] : characteristics_) characteristic->setNotifying(false);
}

void BluezLink::discoverServices(Peripheral&) {
  if (state_ != PeripheralState::connected) return;
  servicesWanted_ = true;
  auto central = central_.lock();
  const BluezDeviceRecord* device = central ? central->device(devicePath_) : nullptr;
  // BlueZ resolves the services by itself after connecting; until then the answer waits.
  if (device && device->servicesResolved) deliverServices();
}

void BluezLink::servicesResolved() {
  if (state_ == PeripheralState::connected && servicesWanted_) deliverServices();
}

void BluezLink::deliverServices() {
  servicesWanted_ = false;
  auto central = central_.lock();
  if (!central) return;
  // Object paths carry the attribute handles in fixed-width hex, so path order is database order.
  std::vector<std::pair<std::string, Uuid>> found;
  for (const auto& [path, record] : central->services()) {
    if (record.device == devicePath_) found.emplace_back(path, record.uuid);
  }
  std::uint64_t generation = generation_;
  postToDelegate([weakSelf = weak_from_this(), generation, found](Peripheral& handle, PeripheralDelegate& delegate) {
    auto self = weakSelf.lock();
    if (!self || !self->isCurrent(generation)) return;
    // Objects already handed out keep their identity across a second discovery.
    std::vector<std::shared_ptr<Service>> services;
    for (const auto& [path, uuid] : found) {
      auto& slot = self->services_[path];
      if (!slot || slot->uuid() != uuid) slot = std::make_shared<Service>(uuid, handle.weak_from_this());
      services.push_back(slot);
    }
    handle.setServices(std::move(services));
    delegate.didDiscoverServices(handle, std::nullopt);
  });
}

void BluezLink::discoverCharacteristics(Peripheral& peripheral, Service& service) {
  auto central = central_.lock();
  if (!central || state_ != PeripheralState::connected) return;
  std::string servicePath;
  for (const auto& [path, candidate] : services_) {
    if (candidate.get() == &service) servicePath = path;
  }
  if (servicePath.empty()) return;
  std::vector<std::pair<std::string, BluezCharacteristicRecord>> found;
  for (const auto& [path, record] : central->characteristics()) {
    if (record.service == servicePath) found.emplace_back(path, record);
  }
  auto owner = std::shared_ptr<Service>(peripheral.shared_from_this(), &service);
  std::uint64_t generation = generation_;
  postToDelegate([weakSelf = weak_from_this(), generation, owner, found](Peripheral& handle,
                                                                       PeripheralDelegate& delegate) {
    auto self = weakSelf.lock();
    if (!self || !self->isCurrent(generation)) return;
    std::shared_ptr<Service> service;
    for (const auto& [path, candidate] : self->services_) {
      if (candidate.get() == owner.get()) service = candidate;
    }
    if (!service) return;
    std::vector<std::shared_ptr<Characteristic>> characteristics;
    for (const auto& [path, record] : found) {
      auto made = std::make_shared<Characteristic>(record.uuid, record.properties, service);
      self->characteristics_[path] = made;
      characteristics.push_back(made);
    }
    service->setCharacteristics(std::move(characteristics));
    delegate.didDiscoverCharacteristics(handle, *service, std::nullopt);
  });
  // Learn the link's MTU where BlueZ offers it only through AcquireWrite.
  for (const auto& [path, record] : found) {
    if (askedForMtu_ || record.mtu || !record.offersAcquireWrite || !(record.properties & property::writeWithoutResponse)) {
      continue;
    }
    askedForMtu_ = true;
    BluezBus::Call acquire{path, bluez::kGattCharacteristic, "AcquireWrite"};
    acquire.withOptions = true;
    acquire.expect = BluezBus::Call::Expect::acquiredWrite;
    central->bus()->call(std::move(acquire), [weakSelf = weak_from_this(), generation](const BluezBus::Reply& reply) {
      auto self = weakSelf.lock();
      if (self && self->isCurrent(generation) && reply.mtu && *reply.mtu >= 23) self->acquiredMtu_ = *reply.mtu;
    });
  }
}

std::optional<std::string> BluezLink::pathOf(const Characteristic& characteristic) const {
  for (const auto& [path, candidate] : characteristics_) {
    if (candidate.get() == &characteristic) return path;
  }
  return std::nullopt;
}

void BluezLink::readValue(Peripheral&, Characteristic& characteristic) {
  auto central = central_.lock();
  auto path = pathOf(characteristic);
  if (!central || state_ != PeripheralState::connected || !path || !central->characteristics().count(*path)) return;
  BluezBus::Call read{*path, bluez::kGattCharacteristic, "ReadValue"};
  read.withOptions = true;
  read.expect = BluezBus::Call::Expect::bytes;
  auto target = characteristics_[*path];
  std::uint64_t generation = generation_;
  central->bus()->call(std::move(read), [weakSelf = weak_from_this(), generation, target](const BluezBus::Reply& reply) {
    auto self = weakSelf.lock();
    if (!self || !self->isCurrent(generation)) return;
    auto error = errorOf(reply);
    if (!error && reply.bytes) target->setValue(*reply.bytes);
    self->postToDelegate([target, error](Peripheral& handle, PeripheralDelegate& delegate) {
      delegate.didUpdateValue(handle, *target, error);
    });
  });
}

void BluezLink::setNotifyValue(Peripheral&, bool enabled, Characteristic& characteristic) {
  auto central = central_.lock();
  auto path = pathOf(characteristic);
  if (!central || state_ != PeripheralState::connected || !path || !central->characteristics().count(*path)) return;
  auto target = characteristics_[*path];
  std::uint64_t generation = generation_;
  central->bus()->call(
      BluezBus::Call{*path, bluez::kGattCharacteristic, enabled ? "StartNotify" : "StopNotify"},
      [weakSelf = weak_from_this(), generation, target, enabled, path = *path](const BluezBus::Reply& reply) {
        auto self = weakSelf.lock();
        if (!self || !self->isCurrent(generation)) return;
        auto error = errorOf(reply);
        if (!error) {
          target->setNotifying(enabled);
          if (enabled) {
            self->notifying_.insert(path);
          } else {
            self->notifying_.erase(path);
          }
        }
        self->postToDelegate([target, error](Peripheral& handle, PeripheralDelegate& delegate) {
          delegate.didUpdateNotificationState(handle, *target, error);
        });
      });
}

void BluezLink::valueChanged(const std::string& characteristicPath, const Bytes& value) {
  if (state_ != PeripheralState::connected || !notifying_.count(characteristicPath)) return;
  auto it = characteristics_.find(characteristicPath);
  if (it == characteristics_.end()) return;
  auto target = it->second;
  // Delivered straight from the bus's main-queue block: one hop, in arrival order.
  target->setValue(value);
  auto handle = handle_.lock();
  auto delegate = handle ? handle->delegate() : nullptr;
  if (delegate) delegate->didUpdateValue(*handle, *target, std::nullopt);
}

void BluezLink::characteristicRemoved(const std::string& characteristicPath) {
  auto it = characteristics_.find(characteristicPath);
  if (it == characteristics_.end()) return;
  ConsoleLog::write({"BlueZ: characteristic ", it->second->uuid().uuidString(), " of ", devicePath_, " went away"});
  it->second->setNotifying(false);
  notifying_.erase(characteristicPath);
  characteristics_.erase(it);
}

void BluezLink::writeValue(Peripheral&, const Bytes& data, Characteristic& characteristic, WriteType type) {
  auto central = central_.lock();
  if (!central || state_ != PeripheralState::connected) return;
  auto path = pathOf(characteristic);
  if (!path || !central->characteristics().count(*path)) {
    ConsoleLog::write({"BlueZ: write to characteristic ", characteristic.uuid().uuidString(),
                       " ignored: it is no longer on the device"});
    return;
  }
  bool withoutResponse = type == WriteType::withoutResponse;
  if (withoutResponse) {
    if (outstandingWrites_ >= kMaxOutstandingWrites) {
      ConsoleLog::write({"BlueZ: write without response dropped: ", std::to_string(outstandingWrites_),
                         " writes still unanswered"});
      return;
    }
    ++outstandingWrites_;
  }
  BluezBus::Call write{*path, bluez::kGattCharacteristic, "WriteValue"};
  write.bytes = data;
  write.withOptions = true;
  write.options = {{"type", std::string(withoutResponse ? "command" : "request")}};
  auto target = characteristics_[*path];
  std::uint64_t generation = generation_;
  central->bus()->call(std::move(write), [weakSelf = weak_from_this(), generation, target,
                                          withoutResponse](const BluezBus::Reply& reply) {
    auto self = weakSelf.lock();
    if (!self || !self->isCurrent(generation)) return;
    if (withoutResponse) {
      if (!reply.ok()) ConsoleLog::write({"BlueZ: write without response failed: ", *reply.errorName});
      self->writeAnswered(true);
      return;
    }
    auto error = errorOf(reply);
    self->postToDelegate([target, error](Peripheral& handle, PeripheralDelegate& delegate) {
      delegate.didWriteValue(handle, *target, error);
    });
  });
}

void BluezLink::writeAnswered(bool withoutResponse) {
  if (!withoutResponse || outstandingWrites_ <= 0) return;
  bool wasBlocked = outstandingWrites_ >= kMaxOutstandingWrites;
  --outstandingWrites_;
  if (wasBlocked) {
    postToDelegate([](Peripheral& handle, PeripheralDelegate& delegate) { delegate.isReadyToSendWriteWithoutResponse(handle); });
  }
}

std::size_t BluezLink::maximumWriteValueLength(WriteType type) const {
  if (type == WriteType::withResponse) return 512;
  int mtu = acquiredMtu_.value_or(0);
  if (auto central = central_.lock()) {
    for (const auto& [path, record] : central->characteristics()) {
      if (record.mtu && path.compare(0, devicePath_.size() + 1, devicePath_ + "/") == 0) mtu = std::max(mtu, *record.mtu);
    }
  }
  if (mtu < 23) return kDefaultWriteLength;
  return std::min<std::size_t>(static_cast<std::size_t>(mtu - 3), 512);
}

bool BluezLink::canSendWriteWithoutResponse() const {
  return state_ == PeripheralState::connected && outstandingWrites_ < kMaxOutstandingWrites;
}

}  // namespace platform::ble
