#include "tests/ble/RecordingCentral.h"

#include <algorithm>

namespace lumo::test {

using namespace platform::ble;

std::shared_ptr<RecordingCentral> RecordingCentral::make(CentralManagerOptions options) {
  auto recorder = std::make_shared<RecordingCentral>();
  recorder->central_ = Radio::makeCentralManager(recorder, options);
  return recorder;
}

std::shared_ptr<Peripheral> RecordingCentral::peripheral(const std::string& name) const {
  for (const auto& candidate : seen_) {
    if (candidate->name() == name) return candidate;
  }
  return nullptr;
}

std::shared_ptr<Characteristic> RecordingCentral::characteristic(const Uuid& uuid) const {
  for (const auto& peripheral : seen_) {
    if (!peripheral->services()) continue;
    for (const auto& service : *peripheral->services()) {
      if (!service->characteristics()) continue;
      for (const auto& candidate : *service->characteristics()) {
        if (candidate->uuid() == uuid) return candidate;
      }
    }
  }
  return nullptr;
}

std::size_t RecordingCentral::count(const std::string& prefix) const {
  return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const std::string& event) {
    return event.compare(0, prefix.size(), prefix) == 0;
  }));
}

void RecordingCentral::centralManagerDidUpdateState(CentralManager& central) {
  events.push_back("state " + std::to_string(static_cast<int>(central.state())));
}

void RecordingCentral::didDiscover(CentralManager&, Peripheral& peripheral, const AdvertisementData& data, int rssi) {
  auto shared = peripheral.shared_from_this();
  if (std::find(seen_.begin(), seen_.end(), shared) == seen_.end()) seen_.push_back(shared);
  bool advertisesName = data.count(kAdvertisementLocalName) != 0;
  events.push_back("discover " + peripheral.name().value_or("<none>") + " rssi=" + std::to_string(rssi) +
                   (advertisesName ? " named" : ""));
}

void RecordingCentral::didConnect(CentralManager&, Peripheral& peripheral) {
  peripheral.setDelegate(weak_from_this());
  events.push_back("connect " + peripheral.name().value_or("<none>"));
}

void RecordingCentral::didFailToConnect(CentralManager&, Peripheral&, const std::optional<Error>& error) {
  events.push_back("fail " + (error ? error->localizedDescription : std::string("-")));
}

void RecordingCentral::didDisconnectPeripheral(CentralManager&, Peripheral&, const std::optional<Error>& error) {
  events.push_back("disconnect " + (error ? error->localizedDescription : std::string("-")));
}

void RecordingCentral::didDiscoverServices(Peripheral& peripheral, const std::optional<Error>&) {
  events.push_back("services " + std::to_string(peripheral.services() ? peripheral.services()->size() : 0));
}

void RecordingCentral::didDiscoverCharacteristics(Peripheral&, Service& service, const std::optional<Error>&) {
  events.push_back("characteristics " + service.uuid().uuidString() + " " +
                   std::to_string(service.characteristics() ? service.characteristics()->size() : 0));
}

void RecordingCentral::didUpdateValue(Peripheral&, Characteristic& characteristic, const std::optional<Error>& error) {
  if (error) {
    events.push_back("valueError " + error->localizedDescription);
    return;
  }
  values.push_back(characteristic.value().value_or(platform::Bytes{}));
  events.push_back("value " + characteristic.uuid().uuidString());
}

void RecordingCentral::didUpdateNotificationState(Peripheral&, Characteristic& characteristic,
                                                  const std::optional<Error>& error) {
  events.push_back(std::string("notifying ") + (error ? "error" : characteristic.isNotifying() ? "on" : "off"));
}

void RecordingCentral::didWriteValue(Peripheral&, Characteristic&, const std::optional<Error>& error) {
  events.push_back("written " + (error ? error->localizedDescription : std::string("ok")));
}

void RecordingCentral::isReadyToSendWriteWithoutResponse(Peripheral&) { events.push_back("ready"); }

}  // namespace lumo::test
