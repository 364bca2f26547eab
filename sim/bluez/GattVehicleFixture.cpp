#include "sim/bluez/GattVehicleFixture.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>

#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Timer.h"
#include "sim/bluez/MockMethods.h"
#include "sim/bluez/Utf8Text.h"

namespace sim::bluez {

using platform::Bytes;
using platform::ble::Uuid;
using platform::dispatch::MainLoop;
using platform::dispatch::Seconds;
using Properties = std::map<std::string, sdbus::Variant>;
using MethodSpec = sdbus::Struct<std::string, std::string, std::string, std::string>;

namespace {

constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";
constexpr const char* kBluezMock = "org.bluez.Mock";
constexpr const char* kAdapter = "org.bluez.Adapter1";
constexpr const char* kDevice = "org.bluez.Device1";
constexpr const char* kService = "org.bluez.GattService1";
constexpr const char* kCharacteristic = "org.bluez.GattCharacteristic1";

// BlueZ writes UUIDs in lower case, always in the 128-bit form.
std::string bluezUuid(const Uuid& uuid) {
  std::string text = uuid.fullString();
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

GattVehicleFixture::GattVehicleFixture(Options options) : options_(std::move(options)) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

GattVehicleFixture::~GattVehicleFixture() {
  stop();
  if (busThread_.joinable()) busThread_.join();
  if (resolveTimer_) resolveTimer_->invalidate();
  if (advertiseTimer_) advertiseTimer_->invalidate();
  control_.reset();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool GattVehicleFixture::start(std::string& error) {
  try {
    caller_ = sdbus::createSystemBusConnection();
    listener_ = sdbus::createSystemBusConnection();
    vehicle_ = std::make_unique<VehicleSimulator>(nullptr, options_.name);
    vehicle_->peripheral()->setNotifyTap([this](const Uuid& uuid, const Bytes& value) {
      for (const auto& characteristic : characteristics_) {
        if (characteristic.uuid == uuid && characteristic.notifying) pushValue(characteristic.path, value);
      }
    });
    // Listen before building, so no reaction to our own device is missed.
    listener_->addMatch("type='signal',sender='org.bluez'", [this](sdbus::Message& message) {
      std::string interface = message.getInterfaceName();
      std::string member = message.getMemberName();
      std::string path = message.getPath();
      if (interface == "org.freedesktop.DBus.Properties" && member == "PropertiesChanged") {
        std::string changedInterface;
        Properties changed;
        message >> changedInterface >> changed;
        MainLoop::post([this, path, changedInterface, changed] { onPropertiesChanged(path, changedInterface, changed); });
      } else if (interface == MockMethods::kGattSignals && member == "Written") {
        {
          auto at = std::chrono::steady_clock::now().time_since_epoch();  // CLOCK_MONOTONIC
          std::lock_guard lock(arrivalsMutex_);
          if (writeArrivals_.size() == kMaxWriteArrivals) writeArrivals_.pop_front();
          writeArrivals_.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(at).count());
        }
        sdbus::ObjectPath characteristic;
        std::vector<std::uint8_t> value;
        std::string kind;
        message >> characteristic >> value >> kind;
        MainLoop::post([this, characteristic, value] { onWritten(characteristic, value); });
      }
    }, sdbus::floating_slot);
    buildDevice();
    exportControl();
    listener_->requestName(kBusName);
  } catch (const sdbus::Error& e) {
    error = e.getName() + ": " + e.getMessage();
    return false;
  }
  busThread_ = std::thread([this] { readBus(); });
  return true;
}

void GattVehicleFixture::buildDevice() {
  auto& root = mock("/");
  auto addRootMethod = [&](const char* name, const char* in, const char* out, const std::string& code) {
    root.callMethod("AddMethod").onInterface(kMockInterface).withArguments(MockMethods::kInterface, name, in, out, code);
  };
  addRootMethod("SetFault", "sv", "", MockMethods::setFault());
  addRootMethod("AddGattObject", "osa{sv}a(ssss)", "", MockMethods::addGattObject());
  addRootMethod("RemoveGattObject", "o", "", MockMethods::removeGattObject());

  root.callMethod("AddDevice").onInterface(kBluezMock).withArguments(options_.adapter, options_.address, options_.name)
      .storeResultsTo(devicePath_);
  deviceExists_ = true;
  auto& device = mock(devicePath_);
  device.callMethod("AddMethod").onInterface(kMockInterface).withArguments(kDevice, "Connect", "", "", MockMethods::connect());
  device.callMethod("AddMethod").onInterface(kMockInterface)
      .withArguments(kDevice, "Disconnect", "", "", MockMethods::disconnect());
  updateProperties(devicePath_, kDevice, {{"RSSI", sdbus::Variant(static_cast<std::int16_t>(options_.rssi))}});

  // Handles as a real vehicle's database would number them: device information first.
  std::string info = devicePath_ + "/service0001";
  addService(info, VehicleSimulator::deviceInfoService());
  for (const auto& service : vehicle_->peripheral()->services()) {
    if (service.uuid != VehicleSimulator::deviceInfoService()) continue;
    for (const auto& entry : service.characteristics) addCharacteristic(info + "/char0002", info, entry.uuid, {"read"}, entry.value);
  }
  std::string vehicle = devicePath_ + "/service000a";
  addService(vehicle, VehicleSimulator::vehicleService());
  addCharacteristic(vehicle + "/char000b", vehicle, VehicleSimulator::stateCharacteristic(), {"notify"}, {});
  addCharacteristic(vehicle + "/char000e", vehicle, VehicleSimulator::controlCharacteristic(), {"write-without-response"}, {});
}

void GattVehicleFixture::addService(const std::string& path, const Uuid& uuid) {
  Properties properties{
      {"UUID", sdbus::Variant(bluezUuid(uuid))},
      {"Primary", sdbus::Variant(true)},
      {"Device", sdbus::Variant(sdbus::ObjectPath(devicePath_))},
      {"Includes", sdbus::Variant(std::vector<sdbus::ObjectPath>{})},
  };
  mock("/").callMethod("AddGattObject").onInterface(MockMethods::kInterface)
      .withArguments(sdbus::ObjectPath(path), kService, properties, std::vector<MethodSpec>{});
  services_.push_back(path);
}

void GattVehicleFixture::addCharacteristic(const std::string& path, const std::string& service, const Uuid& uuid,
                                           std::vector<std::string> flags, const Bytes& value) {
  Properties properties{
      {"UUID", sdbus::Variant(bluezUuid(uuid))},
      {"Service", sdbus::Variant(sdbus::ObjectPath(service))},
      {"Value", sdbus::Variant(value)},
      {"Notifying", sdbus::Variant(false)},
      {"Flags", sdbus::Variant(flags)},
  };
  std::vector<MethodSpec> methods{
      {"ReadValue", "a{sv}", "ay", MockMethods::readValue()},
      {"WriteValue", "aya{sv}", "", MockMethods::writeValue()},
      {"StartNotify", "", "", MockMethods::startNotify()},
      {"StopNotify", "", "", MockMethods::stopNotify()},
  };
  mock("/").callMethod("AddGattObject").onInterface(MockMethods::kInterface)
      .withArguments(sdbus::ObjectPath(path), kCharacteristic, properties, methods);
  characteristics_.push_back({path, uuid, std::move(flags), false});
}

void GattVehicleFixture::exportControl() {
  control_ = sdbus::createObject(*listener_, kObjectPath);
  control_->registerMethod("FailNextConnects").onInterface(kInterface).withInputParamNames("count")
      .implementedAs([this](std::uint32_t count) {
        onMain([&] { mock("/").callMethod("SetFault").onInterface(MockMethods::kInterface)
                         .withArguments("fail_connects", sdbus::Variant(count)); });
      });
  control_->registerMethod("DropLink").onInterface(kInterface).implementedAs([this] { onMain([&] { dropLink(); }); });
  control_->registerMethod("RemoveDevice").onInterface(kInterface).implementedAs([this] { onMain([&] { removeDevice(); }); });
  control_->registerMethod("RemoveCharacteristic").onInterface(kInterface).withInputParamNames("uuid")
      .withOutputParamNames("removed").implementedAs([this](const std::string& uuid) {
        bool removed = false;
        onMain([&] { removed = removeCharacteristic(uuid); });
        return removed;
      });
  control_->registerMethod("SetSilent").onInterface(kInterface).withInputParamNames("silent")
      .implementedAs([this](bool silent) { onMain([&] { vehicle_->setSilent(silent); }); });
  control_->registerMethod("ValueStorm").onInterface(kInterface).withInputParamNames("count", "length")
      .withOutputParamNames("sent").implementedAs([this](std::uint32_t count, std::uint32_t length) {
        std::uint32_t sent = 0;
        onMain([&] {
          for (auto& characteristic : characteristics_) {
            if (characteristic.uuid != VehicleSimulator::stateCharacteristic() || !characteristic.notifying) continue;
            for (std::uint32_t i = 0; i < count; ++i) {
              Bytes value(length, static_cast<std::uint8_t>(i & 0xFF));
              pushValue(characteristic.path, value);
              ++sent;
            }
          }
        });
        return sent;
      });
  control_->registerMethod("SetName").onInterface(kInterface).withInputParamNames("name")
      .implementedAs([this](const std::string& name) { onMain([&] { setName(name); }); });
  // D-Bus strings must be UTF-8; raw bytes go on the bus the way bluetoothd would put them.
  control_->registerMethod("SetNameBytes").onInterface(kInterface).withInputParamNames("bytes")
      .withOutputParamNames("name").implementedAs([this](const std::vector<std::uint8_t>& bytes) {
        std::string name = Utf8Text::repaired(std::string(bytes.begin(), bytes.end()));
        onMain([&] { setName(name); });
        return name;
      });
  control_->registerMethod("Stats").onInterface(kInterface).withOutputParamNames("stats").implementedAs([this] {
    Properties stats;
    onMain([&] {
      stats["AcceptedFrames"] = sdbus::Variant(static_cast<std::uint64_t>(vehicle_->acceptedFrames()));
      stats["RejectedFrames"] = sdbus::Variant(static_cast<std::uint64_t>(vehicle_->rejectedFrames()));
      stats["StateFrames"] = sdbus::Variant(static_cast<std::uint64_t>(vehicle_->stateFramesSent()));
      stats["Connections"] = sdbus::Variant(static_cast<std::uint64_t>(vehicle_->connections()));
      stats["ControlGranted"] = sdbus::Variant(vehicle_->hasControlGranted());
      stats["WatchdogBraking"] = sdbus::Variant(vehicle_->isWatchdogBraking());
      stats["Speed"] = sdbus::Variant(vehicle_->model().speed());
      stats["Linked"] = sdbus::Variant(connected_);
      stats["Advertisements"] = sdbus::Variant(advertisements_);
      stats["DevicePath"] = sdbus::Variant(sdbus::ObjectPath(deviceExists_ ? devicePath_ : "/"));
      const auto& last = vehicle_->lastControlFrame();
      stats["LastFrame"] = sdbus::Variant(last ? VehicleFrames::buildControl(*last) : Bytes{});
    });
    return stats;
  });
  control_->registerMethod("TakeWriteArrivals").onInterface(kInterface).withOutputParamNames("nanoseconds")
      .implementedAs([this] {
        std::lock_guard lock(arrivalsMutex_);
        std::vector<std::int64_t> taken(writeArrivals_.begin(), writeArrivals_.end());
        writeArrivals_.clear();
        return taken;
      });
  control_->finishRegistration();
}

void GattVehicleFixture::readBus() {
  while (!stopping_) {
    try {
      while (listener_->processPendingRequest()) {
      }
      auto data = listener_->getEventLoopPollData();
      pollfd fds[2] = {{data.fd, data.events, 0}, {wakeFd_, POLLIN, 0}};
      int timeout = data.getPollTimeout();
      if (timeout < 0 || timeout > 200) timeout = 200;
      ::poll(fds, 2, timeout);
      if (fds[0].revents & (POLLHUP | POLLERR)) throw sdbus::Error("org.lumo.Error.BusLost", "bus hung up");
    } catch (const sdbus::Error& e) {
      if (stopping_) break;
      std::fprintf(stderr, "lumo_gatt_vehicle: bus lost (%s)\n", e.getMessage().c_str());
      busLost_ = true;
      stop();
      break;
    }
  }
}

void GattVehicleFixture::onMain(const std::function<void()>& work) {
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  MainLoop::post([this, &work, done] {
    guarded(work);
    done->set_value();
  });
  // A stopping program may never run the block; the caller then answers without it.
  while (finished.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
    if (stopping_) return;
  }
}

void GattVehicleFixture::guarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const sdbus::Error& e) {
    std::fprintf(stderr, "lumo_gatt_vehicle: %s: %s\n", e.getName().c_str(), e.getMessage().c_str());
  }
}

bool GattVehicleFixture::run() {
  MainLoop::run();
  return busLost_;
}

void GattVehicleFixture::stop() {
  bool wasStopping = stopping_.exchange(true);
  if (wakeFd_ >= 0) {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(wakeFd_, &one, sizeof one);
  }
  if (!wasStopping) MainLoop::post([] { MainLoop::stop(); });
}

sdbus::IProxy& GattVehicleFixture::mock(const std::string& path) {
  auto& proxy = proxies_[path];
  if (!proxy) proxy = sdbus::createProxy(*caller_, "org.bluez", path);
  return *proxy;
}

void GattVehicleFixture::updateProperties(const std::string& path, const std::string& interface,
                                          const Properties& properties) {
  mock(path).callMethod("UpdateProperties").onInterface(kMockInterface).withArguments(interface, properties);
}

void GattVehicleFixture::onPropertiesChanged(const std::string& path, const std::string& interface,
                                             const Properties& changed) {
  guarded([&] {
    if (interface == kAdapter && path == "/org/bluez/" + options_.adapter) {
      if (auto it = changed.find("Discovering"); it != changed.end()) {
        discovering_ = it->second.get<bool>();
        if (discovering_ && !advertiseTimer_) {
          advertiseTimer_ = platform::dispatch::Timer::scheduled(
              Seconds(options_.advertisingSeconds), true, [this](platform::dispatch::Timer&) { guarded([&] { advertise(); }); });
          advertise();
        }
      }
      if (auto it = changed.find("Powered"); it != changed.end()) {
        powered_ = it->second.get<bool>();
        if (!powered_) {
          // A radio switched off ends its links and its discovery.
          if (connected_) dropLink();
          if (discovering_) updateProperties(path, kAdapter, {{"Discovering", sdbus::Variant(false)}});
        }
      }
    } else if (interface == kDevice && path == devicePath_) {
      if (auto it = changed.find("Connected"); it != changed.end()) onConnected(it->second.get<bool>());
    } else if (interface == kCharacteristic) {
      if (auto it = changed.find("Notifying"); it != changed.end()) {
        for (auto& characteristic : characteristics_) {
          if (characteristic.path == path) characteristic.notifying = it->second.get<bool>();
        }
      }
    }
  });
}

void GattVehicleFixture::onWritten(const std::string& path, const Bytes& value) {
  for (const auto& characteristic : characteristics_) {
    if (characteristic.path != path) continue;
    vehicle_->peripheral()->deliverWrite(characteristic.uuid, value, platform::ble::WriteType::withoutResponse);
  }
}

void GattVehicleFixture::onConnected(bool connected) {
  if (connected == connected_) return;
  connected_ = connected;
  if (resolveTimer_) resolveTimer_->invalidate();
  resolveTimer_.reset();
  vehicle_->peripheral()->linkChanged(connected);
  if (connected) {
    resolveTimer_ = platform::dispatch::Timer::scheduled(
        Seconds(options_.resolveDelaySeconds), false, [this](platform::dispatch::Timer&) {
          guarded([&] {
            if (!connected_ || !deviceExists_) return;
            std::vector<std::string> uuids;
            for (const auto& service : vehicle_->peripheral()->services()) uuids.push_back(bluezUuid(service.uuid));
            updateProperties(devicePath_, kDevice, {{"UUIDs", sdbus::Variant(uuids)}});
            updateProperties(devicePath_, kDevice, {{"ServicesResolved", sdbus::Variant(true)}});
          });
        });
    return;
  }
  // A lost link ends every subscription, as bluetoothd does.
  for (auto& characteristic : characteristics_) {
    if (!characteristic.notifying) continue;
    characteristic.notifying = false;
    updateProperties(characteristic.path, kCharacteristic, {{"Notifying", sdbus::Variant(false)}});
  }
}

void GattVehicleFixture::advertise() {
  if (!discovering_ || !powered_) {
    if (advertiseTimer_) advertiseTimer_->invalidate();
    advertiseTimer_.reset();
    return;
  }
  if (!deviceExists_ || connected_) return;
  // bluetoothd only signals an RSSI that changed, so successive readings differ a little.
  ++advertisements_;
  auto rssi = static_cast<std::int16_t>(options_.rssi - static_cast<int>(advertisements_ % 3));
  updateProperties(devicePath_, kDevice, {{"RSSI", sdbus::Variant(rssi)}});
}

void GattVehicleFixture::pushValue(const std::string& path, const Bytes& value) {
  guarded([&] { updateProperties(path, kCharacteristic, {{"Value", sdbus::Variant(value)}}); });
}

void GattVehicleFixture::dropLink() {
  if (!deviceExists_ || !connected_) return;
  updateProperties(devicePath_, kDevice,
                   {{"ServicesResolved", sdbus::Variant(false)}, {"Connected", sdbus::Variant(false)}});
  onConnected(false);
}

bool GattVehicleFixture::removeCharacteristic(const std::string& uuid) {
  auto wanted = Uuid::fromString(uuid);
  if (!wanted) return false;
  bool removed = false;
  for (auto it = characteristics_.begin(); it != characteristics_.end();) {
    if (it->uuid != *wanted) {
      ++it;
      continue;
    }
    mock("/").callMethod("RemoveGattObject").onInterface(MockMethods::kInterface).withArguments(sdbus::ObjectPath(it->path));
    proxies_.erase(it->path);
    it = characteristics_.erase(it);
    removed = true;
  }
  return removed;
}

void GattVehicleFixture::removeDevice() {
  if (!deviceExists_) return;
  dropLink();
  // Children go first, as bluetoothd removes them before their device.
  for (const auto& characteristic : characteristics_) {
    mock("/").callMethod("RemoveGattObject").onInterface(MockMethods::kInterface)
        .withArguments(sdbus::ObjectPath(characteristic.path));
    proxies_.erase(characteristic.path);
  }
  characteristics_.clear();
  for (const auto& service : services_) {
    mock("/").callMethod("RemoveGattObject").onInterface(MockMethods::kInterface).withArguments(sdbus::ObjectPath(service));
    proxies_.erase(service);
  }
  services_.clear();
  mock("/org/bluez/" + options_.adapter).callMethod("RemoveDevice").onInterface(kAdapter)
      .withArguments(sdbus::ObjectPath(devicePath_));
  proxies_.erase(devicePath_);
  deviceExists_ = false;
}

void GattVehicleFixture::setName(const std::string& name) {
  if (!deviceExists_) return;
  updateProperties(devicePath_, kDevice, {{"Name", sdbus::Variant(name)}, {"Alias", sdbus::Variant(name)}});
}

}  // namespace sim::bluez
