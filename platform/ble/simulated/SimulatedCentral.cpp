#include "platform/ble/simulated/SimulatedCentral.h"

#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/dispatch/DispatchQueue.h"

namespace platform::ble {

using dispatch::DispatchQueue;

SimulatedCentral::SimulatedCentral(std::weak_ptr<SimulatedRadio> radio, CentralManagerOptions options)
    : radio_(std::move(radio)), options_(options) {}

void SimulatedCentral::postToDelegate(std::function<void(CentralManager&, CentralManagerDelegate&)> call) {
  DispatchQueue::main()->async([weakCentral = central_, call = std::move(call)] {
    auto central = weakCentral.lock();
    if (!central) return;
    if (auto delegate = central->delegate()) call(*central, *delegate);
  });
}

void SimulatedCentral::attach(std::weak_ptr<CentralManager> central) {
  central_ = std::move(central);
  // The phone reports the adapter a moment after the central exists, never inside its creation.
  DispatchQueue::main()->async([weakSelf = weak_from_this()] {
    auto self = weakSelf.lock();
    auto radio = self ? self->radio_.lock() : nullptr;
    if (!self || !radio) return;
    self->state_ = radio->adapterState();
    auto central = self->central_.lock();
    if (!central) return;
    if (auto delegate = central->delegate()) delegate->centralManagerDidUpdateState(*central);
  });
}

void SimulatedCentral::scanForPeripherals(const ScanOptions& options) {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record(std::string("scan allowDuplicates=") + (options.allowDuplicates ? "1" : "0"));
  // The platform refuses to scan with the adapter not on (it only logs an API misuse).
  if (radio->adapterState() != ManagerState::poweredOn) return;
  scanning_ = true;
  allowDuplicates_ = options.allowDuplicates;
  seenThisScan_.clear();
  radio->scanningChanged();
}

void SimulatedCentral::stopScan() {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record("stopScan");
  if (!scanning_) return;
  scanning_ = false;
  radio->scanningChanged();
}

SimulatedCentral::Entry* SimulatedCentral::find(const Peripheral& peripheral) {
  auto it = peripherals_.find(peripheral.identifier());
  if (it == peripherals_.end() || it->second.handle.get() != &peripheral) return nullptr;
  return &it->second;
}

SimulatedCentral::Entry& SimulatedCentral::entryFor(const SimulatedPeripheral& device) {
  auto it = peripherals_.find(device.identifier());
  if (it != peripherals_.end()) return it->second;
  auto link = std::make_shared<SimulatedLink>(radio_, device.identifier());
  auto handle = std::make_shared<Peripheral>(device.identifier(), link);
  link->setHandle(handle);
  return peripherals_.emplace(device.identifier(), Entry{handle, link}).first->second;
}

void SimulatedCentral::advertisement(const SimulatedPeripheral& device) {
  if (!scanning_ || state_ != ManagerState::poweredOn) return;
  if (!allowDuplicates_ && !seenThisScan_.insert(device.identifier()).second) return;
  Entry& entry = entryFor(device);
  AdvertisementData data;
  if (device.name()) data[kAdvertisementLocalName] = *device.name();
  data[kAdvertisementIsConnectable] = true;
  auto name = device.name();
  int rssi = device.rssi();
  postToDelegate([handle = entry.handle, data = std::move(data), name, rssi](CentralManager& central,
                                                                              CentralManagerDelegate& delegate) {
    handle->setName(name);
    delegate.didDiscover(central, *handle, data, rssi);
  });
}

void SimulatedCentral::connect(Peripheral& peripheral) {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record("connect " + peripheral.identifier().fullString());
  Entry* entry = find(peripheral);
  if (!entry || radio->adapterState() != ManagerState::poweredOn) return;
  if (entry->link->state() == PeripheralState::connected || entry->link->state() == PeripheralState::connecting) {
    return;
  }
  auto reply = radio->takeConnectReply();
  std::uint64_t generation = entry->link->beginConnecting();
  if (reply.kind == SimulatedRadio::ConnectReply::Kind::stall) return;
  auto link = entry->link;
  auto handle = entry->handle;
  DispatchQueue::main()->asyncAfter(radio->connectLatency(), [weakSelf = weak_from_this(), link, handle,
                                                              generation, reply] {
    auto self = weakSelf.lock();
    auto radio = self ? self->radio_.lock() : nullptr;
    if (!self || !radio || !link->isCurrent(generation) || link->state() != PeripheralState::connecting) return;
    // A device that left range meanwhile simply never answers.
    auto device = radio->device(handle->identifier());
    if (!device) return;
    if (reply.kind == SimulatedRadio::ConnectReply::Kind::fail) {
      link->end();
      auto central = self->central_.lock();
      auto delegate = central ? central->delegate() : nullptr;
      if (delegate) delegate->didFailToConnect(*central, *handle, Error{reply.description});
      return;
    }
    link->establish();
    device->linkChanged(true);
    auto central = self->central_.lock();
    auto delegate = central ? central->delegate() : nullptr;
    if (delegate) delegate->didConnect(*central, *handle);
  });
}

void SimulatedCentral::cancelPeripheralConnection(Peripheral& peripheral) {
  auto radio = radio_.lock();
  if (!radio) return;
  radio->record("cancel " + peripheral.identifier().fullString());
  Entry* entry = find(peripheral);
  if (!entry) return;
  PeripheralState before = entry->link->state();
  if (before == PeripheralState::disconnected) return;
  entry->link->end();
  if (before == PeripheralState::connected) {
    if (auto device = radio->device(peripheral.identifier())) device->linkChanged(false);
  }
  // As on the phone, a cancelled pending connection also ends with didDisconnectPeripheral.
  postToDelegate([handle = entry->handle](CentralManager& central, CentralManagerDelegate& delegate) {
    delegate.didDisconnectPeripheral(central, *handle, std::nullopt);
  });
}

void SimulatedCentral::adapterChanged(ManagerState state) {
  auto radio = radio_.lock();
  std::vector<std::shared_ptr<Peripheral>> dropped;
  if (state != ManagerState::poweredOn) {
    scanning_ = false;
    for (auto& [id, entry] : peripherals_) {
      if (entry.link->state() == PeripheralState::connected) dropped.push_back(entry.handle);
      entry.link->end();
    }
  }
  // The state a central reads changes when its report is delivered, as each report sees its own.
  DispatchQueue::main()->async([weakSelf = weak_from_this(), state] {
    auto self = weakSelf.lock();
    if (!self) return;
    self->state_ = state;
    auto central = self->central_.lock();
    auto delegate = central ? central->delegate() : nullptr;
    if (delegate) delegate->centralManagerDidUpdateState(*central);
  });
  for (auto& handle : dropped) {
    if (radio) {
      if (auto device = radio->device(handle->identifier())) device->linkChanged(false);
    }
    postToDelegate([handle](CentralManager& central, CentralManagerDelegate& delegate) {
      delegate.didDisconnectPeripheral(central, *handle, Error{"Bluetooth was powered off."});
    });
  }
}

void SimulatedCentral::linkLost(const Uuid& device, const std::string& reason) {
  auto it = peripherals_.find(device);
  if (it == peripherals_.end() || it->second.link->state() != PeripheralState::connected) return;
  it->second.link->end();
  postToDelegate([handle = it->second.handle, reason](CentralManager& central, CentralManagerDelegate& delegate) {
    delegate.didDisconnectPeripheral(central, *handle, Error{reason});
  });
}

std::size_t SimulatedCentral::notify(const Uuid& device, const Uuid& characteristic, const Bytes& value) {
  auto it = peripherals_.find(device);
  if (it == peripherals_.end()) return 0;
  return it->second.link->deliverNotification(characteristic, value) ? 1 : 0;
}

bool SimulatedCentral::isConnected(const Uuid& device) const {
  auto it = peripherals_.find(device);
  return it != peripherals_.end() && it->second.link->state() == PeripheralState::connected;
}

void SimulatedCentral::returnCredits(const Uuid& device, int count) {
  auto it = peripherals_.find(device);
  if (it != peripherals_.end()) it->second.link->returnCredits(count);
}

}  // namespace platform::ble
