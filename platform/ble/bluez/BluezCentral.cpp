#include "platform/ble/bluez/BluezCentral.h"

#include "platform/ble/bluez/BluezLink.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"

namespace platform::ble {

using dispatch::DispatchQueue;
using foundation::ConsoleLog;
using Kind = BluezBus::Event::Kind;

namespace {
constexpr const char* kLinkLost = "The connection has timed out unexpectedly.";
constexpr const char* kPoweredOff = "Bluetooth was powered off.";
constexpr const char* kUnavailable = "Bluetooth is unavailable.";

bool isUnder(const std::string& path, const std::string& parent) {
  return path.size() > parent.size() + 1 && path.compare(0, parent.size(), parent) == 0 && path[parent.size()] == '/';
}
}  // namespace

BluezCentral::BluezCentral(CentralManagerOptions options) : options_(options) {}

void BluezCentral::postToDelegate(std::function<void(CentralManager&, CentralManagerDelegate&)> call) {
  DispatchQueue::main()->async([weakCentral = central_, call = std::move(call)] {
    auto central = weakCentral.lock();
    if (!central) return;
    if (auto delegate = central->delegate()) call(*central, *delegate);
  });
}

void BluezCentral::attach(std::weak_ptr<CentralManager> central) {
  central_ = std::move(central);
  bus_ = BluezBus::start([weakSelf = weak_from_this()](const BluezBus::Event& event) {
    if (auto self = weakSelf.lock()) self->onEvent(event);
  });
  listObjects();
}

const BluezDeviceRecord* BluezCentral::device(const std::string& path) const {
  auto it = devices_.find(path);
  return it == devices_.end() ? nullptr : &it->second;
}

std::string BluezCentral::deviceOf(const std::string& characteristicPath) const {
  auto characteristic = characteristics_.find(characteristicPath);
  if (characteristic == characteristics_.end()) return {};
  auto service = services_.find(characteristic->second.service);
  return service == services_.end() ? std::string() : service->second.device;
}

void BluezCentral::listObjects() {
  BluezBus::Call call{"/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects"};
  call.expect = BluezBus::Call::Expect::objects;
  bus_->call(std::move(call), [weakSelf = weak_from_this()](const BluezBus::Reply& reply) {
    if (auto self = weakSelf.lock()) self->objectsListed(reply);
  });
}

void BluezCentral::objectsListed(const BluezBus::Reply& reply) {
  listed_ = true;
  accessDenied_ = reply.errorName && reply.errorName->find("AccessDenied") != std::string::npos;
  if (!reply.ok()) {
    ConsoleLog::write({"BlueZ: cannot list the Bluetooth objects: ", *reply.errorName, " ", reply.errorMessage});
  }
  for (const auto& [path, interfaces] : reply.objects) addInterfaces(path, interfaces);
  updateState();
}

void BluezCentral::onEvent(const BluezBus::Event& event) {
  switch (event.kind) {
    case Kind::interfacesAdded:
      addInterfaces(event.path, event.interfaces);
      break;
    case Kind::interfacesRemoved:
      removeInterfaces(event.path, event.names);
      break;
    case Kind::propertiesChanged:
      if (event.interface == bluez::kAdapter && adapters_.count(event.path)) {
        if (bluez::hasWrongType<bool>(event.properties, "Powered")) {
          ConsoleLog::write({"BlueZ: ignored a Powered of the wrong type on ", event.path});
        } else if (auto powered = bluez::read<bool>(event.properties, "Powered")) {
          adapters_[event.path].powered = *powered;
          updateState();
        }
      } else if (event.interface == bluez::kDevice) {
        deviceChanged(event.path, event);
      } else if (event.interface == bluez::kGattCharacteristic && characteristics_.count(event.path)) {
        auto value = bluez::read<Bytes>(event.properties, "Value");
        if (!value) {
          if (event.properties.count("Value")) ConsoleLog::write({"BlueZ: ignored a Value that is not bytes on ", event.path});
          break;
        }
        auto it = peripherals_.find(deviceOf(event.path));
        if (it != peripherals_.end()) it->second.link->valueChanged(event.path, *value);
      }
      break;
    case Kind::serviceAppeared:
      busLost_ = false;
      listObjects();
      break;
    case Kind::serviceVanished:
      ConsoleLog::write("BlueZ: the Bluetooth service left the bus");
      forgetEverything();
      break;
    case Kind::busLost:
      ConsoleLog::write({"BlueZ: ", event.text});
      busLost_ = true;
      listed_ = true;
      forgetEverything();
      break;
    case Kind::problem:
      ConsoleLog::write(event.text);
      break;
  }
}

void BluezCentral::addInterfaces(const std::string& path, const BluezInterfaces& interfaces) {
  auto refuse = [&](const std::string& why) { ConsoleLog::write({"BlueZ: ignored ", why}); };
  for (const auto& [name, properties] : interfaces) {
    if (name == bluez::kAdapter) {
      auto parsed = bluez::parseAdapter(path, properties);
      if (auto* why = std::get_if<std::string>(&parsed)) {
        refuse(*why);
        continue;
      }
      adapters_[path] = std::get<BluezAdapterRecord>(parsed);
      updateState();
    } else if (name == bluez::kDevice) {
      auto parsed = bluez::parseDevice(path, properties);
      if (auto* why = std::get_if<std::string>(&parsed)) {
        refuse(*why);
        continue;
      }
      devices_[path] = std::get<BluezDeviceRecord>(parsed);
      // A device object appears when the adapter hears it.
      reportDiscovery(path);
    } else if (name == bluez::kGattService) {
      auto parsed = bluez::parseService(path, properties);
      if (auto* why = std::get_if<std::string>(&parsed)) {
        refuse(*why);
        continue;
      }
      services_[path] = std::get<BluezServiceRecord>(parsed);
    } else if (name == bluez::kGattCharacteristic) {
      auto parsed = bluez::parseCharacteristic(path, properties);
      if (auto* why = std::get_if<std::string>(&parsed)) {
        refuse(*why);
        continue;
      }
      characteristics_[path] = std::get<BluezCharacteristicRecord>(parsed);
    }
  }
}

void BluezCentral::removeInterfaces(const std::string& path, const std::vector<std::string>& names) {
  for (const auto& name : names) {
    if (name == bluez::kAdapter && adapters_.erase(path)) {
      updateState();
    } else if (name == bluez::kDevice && devices_.erase(path)) {
      seenThisScan_.erase(path);
      if (auto it = peripherals_.find(path); it != peripherals_.end()) linkEnded(it->second, kLinkLost);
      std::erase_if(services_, [&](const auto& item) { return isUnder(item.first, path); });
      std::erase_if(characteristics_, [&](const auto& item) { return isUnder(item.first, path); });
      prunePeripherals();
    } else if (name == bluez::kGattService) {
      services_.erase(path);
    } else if (name == bluez::kGattCharacteristic && characteristics_.count(path)) {
      auto devicePath = deviceOf(path);
      characteristics_.erase(path);
      if (auto it = peripherals_.find(devicePath); it != peripherals_.end()) {
        it->second.link->characteristicRemoved(path);
      }
    }
  }
}

void BluezCentral::deviceChanged(const std::string& path, const BluezBus::Event& event) {
  auto record = devices_.find(path);
  if (record == devices_.end()) return;
  BluezDeviceRecord before = record->second;
  std::string refused = bluez::applyDeviceChanges(record->second, event.properties, event.names);
  if (!refused.empty()) ConsoleLog::write({"BlueZ: ignored wrong types for", refused, " on ", path});
  const BluezDeviceRecord& now = record->second;
  if (bluez::read<std::int64_t>(event.properties, "RSSI")) reportDiscovery(path);
  auto it = peripherals_.find(path);
  if (it == peripherals_.end()) return;
  Entry& entry = it->second;
  if (now.connected && !before.connected && entry.link->state() == PeripheralState::connecting) linkUp(entry);
  if (!now.connected && before.connected && entry.link->state() == PeripheralState::connected) {
    linkEnded(entry, kLinkLost);
  }
  if (now.servicesResolved && !before.servicesResolved) entry.link->servicesResolved();
}

void BluezCentral::forgetEverything() {
  adapters_.clear();
  devices_.clear();
  services_.clear();
  characteristics_.clear();
  updateState();
  prunePeripherals();
}

void BluezCentral::prunePeripherals() {
  // A handle someone still holds stays, so a device that comes back is the same peripheral.
  std::erase_if(peripherals_, [&](const auto& item) {
    const Entry& entry = item.second;
    bool gone = !devices_.count(item.first) || (!scanning_ && !seenThisScan_.count(item.first));
    return gone && entry.link->state() == PeripheralState::disconnected && entry.handle.use_count() == 1;
  });
}

ManagerState BluezCentral::liveState() const {
  if (busLost_) return ManagerState::unsupported;
  if (!listed_) return ManagerState::unknown;
  if (accessDenied_) return ManagerState::unauthorized;
  if (adapters_.empty()) return ManagerState::unsupported;
  return adapters_.begin()->second.powered ? ManagerState::poweredOn : ManagerState::poweredOff;
}

void BluezCentral::updateState() {
  ManagerState live = liveState();
  if (live == ManagerState::unknown || (reported_ && *reported_ == live)) return;
  reported_ = live;
  std::vector<std::shared_ptr<Peripheral>> dropped;
  if (live != ManagerState::poweredOn) {
    scanning_ = false;
    for (auto& [path, entry] : peripherals_) {
      if (entry.link->state() == PeripheralState::connected) dropped.push_back(entry.handle);
      entry.link->end();
    }
  }
  // The state a central reads changes when its report is delivered, as each report sees its own.
  DispatchQueue::main()->async([weakSelf = weak_from_this(), live] {
    auto self = weakSelf.lock();
    if (!self) return;
    self->state_ = live;
    auto central = self->central_.lock();
    auto delegate = central ? central->delegate() : nullptr;
    if (delegate) delegate->centralManagerDidUpdateState(*central);
  });
  std::string reason = live == ManagerState::poweredOff ? kPoweredOff : kUnavailable;
  for (auto& handle : dropped) {
    postToDelegate([handle, reason](CentralManager& central, CentralManagerDelegate& delegate) {
      delegate.didDisconnectPeripheral(central, *handle, Error{reason});
    });
  }
}

bool BluezCentral::belongsToAdapter(const std::string& devicePath) const {
  return !adapters_.empty() && isUnder(devicePath, adapters_.begin()->first);
}

void BluezCentral::reportDiscovery(const std::string& path) {
  auto record = devices_.find(path);
  if (!scanning_ || liveState() != ManagerState::poweredOn || record == devices_.end() || !belongsToAdapter(path)) {
    return;
  }
  bool first = seenThisScan_.insert(path).second;
  if (!allowDuplicates_ && !first) return;
  Entry& entry = entryFor(path);
  AdvertisementData data;
  if (record->second.name) data[kAdvertisementLocalName] = *record->second.name;
  data[kAdvertisementIsConnectable] = true;
  // 127 is the platform's "RSSI not available".
  int rssi = record->second.rssi.value_or(127);
  postToDelegate([handle = entry.handle, data = std::move(data), name = record->second.name, rssi](
                     CentralManager& central, CentralManagerDelegate& delegate) {
    handle->setName(name);
    delegate.didDiscover(central, *handle, data, rssi);
  });
}

void BluezCentral::scanForPeripherals(const ScanOptions& options) {
  // As on the phone, scanning with the adapter not on is refused without a callback.
  if (liveState() != ManagerState::poweredOn) return;
  scanning_ = true;
  allowDuplicates_ = options.allowDuplicates;
  seenThisScan_.clear();
  const std::string adapter = adapters_.begin()->first;
  BluezBus::Call filter{adapter, bluez::kAdapter, "SetDiscoveryFilter"};
  filter.withOptions = true;
  filter.options = {{"Transport", std::string("le")}, {"DuplicateData", options.allowDuplicates}};
  auto complain = [](const BluezBus::Reply& reply) {
    if (!reply.ok()) ConsoleLog::write({"BlueZ: discovery request failed: ", *reply.errorName, " ", reply.errorMessage});
  };
  bus_->call(std::move(filter), complain);
  bus_->call(BluezBus::Call{adapter, bluez::kAdapter, "StartDiscovery"}, complain);
  // Devices the adapter already hears are reported at once.
  for (const auto& [path, record] : devices_) {
    if (record.rssi) reportDiscovery(path);
  }
}

void BluezCentral::stopScan() {
  if (!scanning_) return;
  scanning_ = false;
  // What this scan did not hear is forgotten unless it is linked or held.
  prunePeripherals();
  if (adapters_.empty()) return;
  bus_->call(BluezBus::Call{adapters_.begin()->first, bluez::kAdapter, "StopDiscovery"}, [](const BluezBus::Reply& reply) {
    if (!reply.ok()) ConsoleLog::write({"BlueZ: stopping discovery failed: ", *reply.errorName});
  });
}

BluezCentral::Entry* BluezCentral::find(const Peripheral& peripheral) {
  for (auto& [path, entry] : peripherals_) {
    if (entry.handle.get() == &peripheral) return &entry;
  }
  return nullptr;
}

BluezCentral::Entry& BluezCentral::entryFor(const std::string& path) {
  auto it = peripherals_.find(path);
  if (it != peripherals_.end()) return it->second;
  auto link = std::make_shared<BluezLink>(weak_from_this(), path);
  auto handle = std::make_shared<Peripheral>(bluez::identifierFor(adapters_.begin()->first, devices_[path].address), link);
  link->setHandle(handle);
  return peripherals_.emplace(path, Entry{handle, link}).first->second;
}

void BluezCentral::connect(Peripheral& peripheral) {
  Entry* entry = find(peripheral);
  if (!entry || liveState() != ManagerState::poweredOn || !devices_.count(entry->link->devicePath())) return;
  if (entry->link->state() == PeripheralState::connected || entry->link->state() == PeripheralState::connecting) {
    return;
  }
  std::uint64_t generation = entry->link->beginConnecting();
  const std::string path = entry->link->devicePath();
  bus_->call(BluezBus::Call{path, bluez::kDevice, "Connect"},
             [weakSelf = weak_from_this(), path, generation](const BluezBus::Reply& reply) {
               if (auto self = weakSelf.lock()) self->connectReplied(path, generation, reply);
             });
}

void BluezCentral::connectReplied(const std::string& path, std::uint64_t generation, const BluezBus::Reply& reply) {
  auto it = peripherals_.find(path);
  if (it == peripherals_.end()) return;
  Entry& entry = it->second;
  if (!entry.link->isCurrent(generation) || entry.link->state() != PeripheralState::connecting) return;
  // A device another program already linked is ours to use as well.
  if (reply.ok() || reply.errorName == "org.bluez.Error.AlreadyConnected") {
    linkUp(entry);
    return;
  }
  entry.link->end();
  std::string description = reply.errorMessage.empty() ? *reply.errorName : reply.errorMessage;
  postToDelegate([handle = entry.handle, description](CentralManager& central, CentralManagerDelegate& delegate) {
    delegate.didFailToConnect(central, *handle, Error{description});
  });
}

void BluezCentral::linkUp(Entry& entry) {
  entry.link->establish();
  postToDelegate([handle = entry.handle](CentralManager& central, CentralManagerDelegate& delegate) {
    delegate.didConnect(central, *handle);
  });
  auto record = devices_.find(entry.link->devicePath());
  if (record != devices_.end() && record->second.servicesResolved) entry.link->servicesResolved();
}

void BluezCentral::linkEnded(Entry& entry, const std::optional<std::string>& error) {
  PeripheralState before = entry.link->state();
  if (before == PeripheralState::disconnected) return;
  entry.link->end();
  if (before == PeripheralState::connecting && error) {
    postToDelegate([handle = entry.handle, error](CentralManager& central, CentralManagerDelegate& delegate) {
      delegate.didFailToConnect(central, *handle, Error{*error});
    });
    return;
  }
  std::optional<Error> reported;
  if (error) reported = Error{*error};
  postToDelegate([handle = entry.handle, reported](CentralManager& central, CentralManagerDelegate& delegate) {
    delegate.didDisconnectPeripheral(central, *handle, reported);
  });
}

void BluezCentral::cancelPeripheralConnection(Peripheral& peripheral) {
  Entry* entry = find(peripheral);
  if (!entry || entry->link->state() == PeripheralState::disconnected) return;
  bus_->call(BluezBus::Call{entry->link->devicePath(), bluez::kDevice, "Disconnect"}, [](const BluezBus::Reply&) {
    // Nothing to add: the handle already reads disconnected, and a link that was still being
    // set up answers NotConnected.
  });
  // As on the phone, a cancelled pending connection also ends with didDisconnectPeripheral.
  linkEnded(*entry, std::nullopt);
}

}  // namespace platform::ble
