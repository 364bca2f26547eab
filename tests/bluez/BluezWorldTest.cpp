#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include <sdbus-c++/sdbus-c++.h>

#include "lumosdk/utils/ControlUtil.h"
#include "platform/ble/Uuid.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/bluez/SignalRecorder.h"
#include "tests/support/bluez/BluezWorld.h"

// The mocked-BlueZ world seen by a plain sdbus-c++ client, the way the BlueZ back-end sees it.

namespace lumo::test {
namespace {

using platform::Bytes;
using platform::ble::Uuid;
using Properties = std::map<std::string, sdbus::Variant>;
using Objects = std::map<sdbus::ObjectPath, std::map<std::string, Properties>>;

constexpr const char* kAdapter = "org.bluez.Adapter1";
constexpr const char* kDevice = "org.bluez.Device1";
constexpr const char* kService = "org.bluez.GattService1";
constexpr const char* kCharacteristic = "org.bluez.GattCharacteristic1";

// The D-Bus error name a call ends with, or "" when it succeeds.
std::string errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const sdbus::Error& e) {
    return e.getName();
  }
  return "";
}

class Client {
 public:
  Client() : bus_(sdbus::createSystemBusConnection()) {}

  sdbus::IProxy& proxy(const std::string& path) {
    auto& proxy = proxies_[path];
    if (!proxy) proxy = sdbus::createProxy(*bus_, "org.bluez", path);
    return *proxy;
  }
  Objects objects() {
    Objects result;
    proxy("/").callMethod("GetManagedObjects").onInterface("org.freedesktop.DBus.ObjectManager").storeResultsTo(result);
    return result;
  }
  void call(const std::string& path, const std::string& interface, const std::string& method) {
    proxy(path).callMethod(method).onInterface(interface);
  }
  sdbus::Variant get(const std::string& path, const std::string& interface, const std::string& property) {
    return proxy(path).getProperty(property).onInterface(interface);
  }
  void write(const std::string& path, const Bytes& value, const std::string& type) {
    Properties options{{"type", sdbus::Variant(type)}};
    proxy(path).callMethod("WriteValue").onInterface(kCharacteristic).withArguments(value, options);
  }
  // The path of the object with `interface` whose UUID is `uuid`, or "".
  std::string find(const std::string& interface, const Uuid& uuid) {
    for (const auto& [path, interfaces] : objects()) {
      auto it = interfaces.find(interface);
      if (it == interfaces.end() || !it->second.count("UUID")) continue;
      if (Uuid::fromString(it->second.at("UUID").get<std::string>()) == uuid) return path;
    }
    return "";
  }

 private:
  std::unique_ptr<sdbus::IConnection> bus_;
  std::map<std::string, std::unique_ptr<sdbus::IProxy>> proxies_;
};

Bytes controlFrame(bool enable, int throttle, int tick) {
  Bytes frame = ControlUtil::encodeCmd(enable, false, throttle, 0, 0, tick);
  frame.push_back(0x0D);
  frame.push_back(0x0A);
  return frame;
}

void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

class BluezWorldTest : public ::testing::Test {
 protected:
  void SetUp() override { ControlUtil::resetForTesting(); }

  // Connects, waits for resolved services and subscribes to the state characteristic.
  void link(BluezWorld& world, Client& client, SignalRecorder& signals) {
    client.call(world.devicePath(), kDevice, "Connect");
    ASSERT_TRUE(signals.waitForChanges(world.devicePath(), kDevice, "ServicesResolved", 1));
    state_ = client.find(kCharacteristic, sim::VehicleSimulator::stateCharacteristic());
    control_ = client.find(kCharacteristic, sim::VehicleSimulator::controlCharacteristic());
    ASSERT_FALSE(state_.empty());
    ASSERT_FALSE(control_.empty());
    client.call(state_, kCharacteristic, "StartNotify");
  }

  std::string state_;
  std::string control_;
};

TEST_F(BluezWorldTest, ScannerSeesAdapterAndNamedDeviceWithFreshRssiOnlyWhileDiscovering) {
  BluezWorld world(BluezWorld::Options{.vehicleName = "LUMO-8842", .rssi = -61});
  ASSERT_TRUE(world.ready()) << world.error();
  Client client;
  SignalRecorder signals;

  auto objects = client.objects();
  ASSERT_TRUE(objects.count(sdbus::ObjectPath(BluezWorld::kAdapterPath)));
  EXPECT_TRUE(objects[sdbus::ObjectPath(BluezWorld::kAdapterPath)][kAdapter].at("Powered").get<bool>());
  ASSERT_TRUE(objects.count(sdbus::ObjectPath(world.devicePath())));
  const auto& device = objects[sdbus::ObjectPath(world.devicePath())][kDevice];
  EXPECT_EQ(device.at("Name").get<std::string>(), "LUMO-8842");
  EXPECT_EQ(device.at("Address").get<std::string>(), "C0:FF:EE:00:00:01");
  EXPECT_FALSE(device.at("Connected").get<bool>());
  EXPECT_FALSE(device.at("ServicesResolved").get<bool>());

  // No advertising reaches a client that does not discover.
  pause(0.25);
  EXPECT_TRUE(signals.changes(world.devicePath(), kDevice, "RSSI").empty());

  client.call(BluezWorld::kAdapterPath, kAdapter, "StartDiscovery");
  ASSERT_TRUE(signals.waitForChanges(world.devicePath(), kDevice, "RSSI", 3));
  for (const auto& rssi : signals.changes(world.devicePath(), kDevice, "RSSI")) {
    int value = rssi.get<std::int16_t>();
    EXPECT_LE(value, -61);
    EXPECT_GE(value, -63);
  }
  client.call(BluezWorld::kAdapterPath, kAdapter, "StopDiscovery");
  pause(0.3);
  auto seen = signals.changes(world.devicePath(), kDevice, "RSSI").size();
  pause(0.5);
  EXPECT_EQ(signals.changes(world.devicePath(), kDevice, "RSSI").size(), seen);
}

TEST_F(BluezWorldTest, ConnectedClientDrivesTheVehicleThroughWriteValueAndValueChanges) {
  BluezWorld world;
  ASSERT_TRUE(world.ready()) << world.error();
  Client client;
  SignalRecorder signals;

  client.call(world.devicePath(), kDevice, "Connect");
  ASSERT_TRUE(signals.waitForChanges(world.devicePath(), kDevice, "ServicesResolved", 1));
  // Services resolve after the link is up, never before.
  auto all = signals.signals();
  std::size_t connectedAt = all.size(), resolvedAt = all.size();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].changed.count("Connected") && connectedAt == all.size()) connectedAt = i;
    if (all[i].changed.count("ServicesResolved") && resolvedAt == all.size()) resolvedAt = i;
  }
  EXPECT_LT(connectedAt, resolvedAt);
  EXPECT_TRUE(client.get(world.devicePath(), kDevice, "Connected").get<bool>());
  EXPECT_TRUE(client.get(world.devicePath(), kDevice, "ServicesResolved").get<bool>());

  // The vehicle service is the last one, under the device, with its two characteristics.
  auto objects = client.objects();
  std::string service = client.find(kService, sim::VehicleSimulator::vehicleService());
  ASSERT_EQ(service.rfind(world.devicePath() + "/service", 0), 0u) << service;
  EXPECT_EQ(objects[sdbus::ObjectPath(service)][kService].at("Device").get<sdbus::ObjectPath>(), world.devicePath());
  std::string state = client.find(kCharacteristic, sim::VehicleSimulator::stateCharacteristic());
  std::string control = client.find(kCharacteristic, sim::VehicleSimulator::controlCharacteristic());
  ASSERT_FALSE(state.empty());
  ASSERT_FALSE(control.empty());
  EXPECT_EQ(objects[sdbus::ObjectPath(state)][kCharacteristic].at("Service").get<sdbus::ObjectPath>(), service);
  EXPECT_EQ(objects[sdbus::ObjectPath(state)][kCharacteristic].at("Flags").get<std::vector<std::string>>(),
            std::vector<std::string>{"notify"});
  EXPECT_EQ(objects[sdbus::ObjectPath(control)][kCharacteristic].at("Flags").get<std::vector<std::string>>(),
            std::vector<std::string>{"write-without-response"});
  std::string info = client.find(kService, sim::VehicleSimulator::deviceInfoService());
  EXPECT_LT(info, service);

  client.call(state, kCharacteristic, "StartNotify");
  ASSERT_TRUE(signals.waitForChanges(state, kCharacteristic, "Notifying", 1));

  // Request frames until the vehicle grants control; each state frame decodes with the codec.
  int tick = 0x0130;
  auto started = std::chrono::steady_clock::now();
  while (!ControlUtil::isCanControl() && std::chrono::steady_clock::now() - started < std::chrono::seconds(3)) {
    client.write(control, controlFrame(true, 0, ++tick), "command");
    pause(0.05);
    auto values = signals.changes(state, kCharacteristic, "Value");
    if (!values.empty()) {
      Bytes frame = values.back().get<std::vector<std::uint8_t>>();
      ASSERT_TRUE(ControlUtil::checkData(frame));
      ControlUtil::decodeState(frame);
    }
  }
  EXPECT_TRUE(ControlUtil::isCanControl());
  // The echo of a tick we sent comes back in the state frames.
  bool echoed = false;
  for (const auto& value : signals.changes(state, kCharacteristic, "Value")) {
    auto frame = value.get<std::vector<std::uint8_t>>();
    echoed = echoed || (frame.size() == 8 && frame[5] > 0x30 && frame[5] <= (tick & 0xFF));
  }
  EXPECT_TRUE(echoed);

  auto stats = world.vehicleStats();
  ASSERT_TRUE(stats);
  EXPECT_EQ(stats->acceptedFrames, static_cast<std::uint64_t>(tick - 0x0130));
  EXPECT_EQ(stats->lastFrame, controlFrame(true, 0, tick));
  EXPECT_TRUE(stats->controlGranted);
  EXPECT_EQ(stats->connections, 1u);

  // A write with response is refused: the control characteristic only takes commands.
  EXPECT_EQ(errorOf([&] { client.write(control, controlFrame(true, 0, ++tick), "request"); }),
            "org.bluez.Error.NotSupported");
  // A bad frame reaches the vehicle and is rejected there.
  client.write(control, Bytes{1, 2, 3}, "command");
  pause(0.1);
  EXPECT_EQ(world.vehicleStats()->rejectedFrames, 1u);
}

TEST_F(BluezWorldTest, LinkFaultsEndTheLinkAndTheVehicleBrakesToAStandstill) {
  BluezWorld world;
  ASSERT_TRUE(world.ready()) << world.error();
  Client client;
  SignalRecorder signals;

  // Writes and subscriptions need a link.
  std::string control = client.find(kCharacteristic, sim::VehicleSimulator::controlCharacteristic());
  EXPECT_EQ(errorOf([&] { client.write(control, controlFrame(true, 0, 1), "command"); }), "org.bluez.Error.NotConnected");

  ASSERT_TRUE(world.failNextConnects(2));
  EXPECT_EQ(errorOf([&] { client.call(world.devicePath(), kDevice, "Connect"); }), "org.bluez.Error.Failed");
  EXPECT_EQ(errorOf([&] { client.call(world.devicePath(), kDevice, "Connect"); }), "org.bluez.Error.Failed");
  EXPECT_FALSE(client.get(world.devicePath(), kDevice, "Connected").get<bool>());
  ASSERT_NO_FATAL_FAILURE(link(world, client, signals));

  // Drive: control granted, then throttle until the vehicle moves.
  int tick = 0;
  auto started = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - started < std::chrono::seconds(4)) {
    client.write(control_, controlFrame(true, 25, ++tick), "command");
    pause(0.05);
    auto stats = world.vehicleStats();
    if (stats && stats->speed > 0.2) break;
  }
  ASSERT_GT(world.vehicleStats()->speed, 0.2);

  signals.clear();
  ASSERT_TRUE(world.dropLink());
  ASSERT_TRUE(signals.waitForChanges(world.devicePath(), kDevice, "Connected", 1));
  EXPECT_FALSE(signals.changes(world.devicePath(), kDevice, "Connected").back().get<bool>());
  EXPECT_FALSE(client.get(world.devicePath(), kDevice, "ServicesResolved").get<bool>());
  EXPECT_FALSE(client.get(state_, kCharacteristic, "Notifying").get<bool>());
  EXPECT_EQ(errorOf([&] { client.write(control_, controlFrame(true, 25, ++tick), "command"); }),
            "org.bluez.Error.NotConnected");
  bool stopped = false;
  for (int i = 0; i < 60 && !stopped; ++i) {
    pause(0.05);
    stopped = world.vehicleStats()->speed == 0;
  }
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(world.vehicleStats()->linked);

  // The link comes back on a new connect, without the old control.
  ASSERT_NO_FATAL_FAILURE(link(world, client, signals));
  EXPECT_EQ(world.vehicleStats()->connections, 2u);
  EXPECT_FALSE(world.vehicleStats()->controlGranted);
}

TEST_F(BluezWorldTest, PoweringTheAdapterOffEndsLinkAndDiscoveryAndRefusesConnects) {
  BluezWorld world;
  ASSERT_TRUE(world.ready()) << world.error();
  Client client;
  SignalRecorder signals;
  ASSERT_NO_FATAL_FAILURE(link(world, client, signals));
  client.call(BluezWorld::kAdapterPath, kAdapter, "StartDiscovery");
  ASSERT_TRUE(signals.waitForChanges(BluezWorld::kAdapterPath, kAdapter, "Discovering", 1));

  ASSERT_TRUE(world.setPowered(false));
  ASSERT_TRUE(signals.waitFor([&](const std::vector<SignalRecorder::Signal>& all) {
    auto connected = SignalRecorder::changesIn(all, world.devicePath(), kDevice, "Connected");
    auto discovering = SignalRecorder::changesIn(all, BluezWorld::kAdapterPath, kAdapter, "Discovering");
    return !connected.empty() && !connected.back().get<bool>() && !discovering.back().get<bool>();
  }));
  EXPECT_FALSE(client.get(BluezWorld::kAdapterPath, kAdapter, "Powered").get<bool>());
  EXPECT_EQ(errorOf([&] { client.call(world.devicePath(), kDevice, "Connect"); }), "org.bluez.Error.NotReady");

  ASSERT_TRUE(world.setPowered(true));
  EXPECT_EQ(errorOf([&] { client.call(world.devicePath(), kDevice, "Connect"); }), "");
}

TEST_F(BluezWorldTest, RemovedCharacteristicAndDeviceLeaveTheObjectTreeChildrenFirst) {
  BluezWorld world;
  ASSERT_TRUE(world.ready()) << world.error();
  Client client;
  SignalRecorder signals;
  ASSERT_NO_FATAL_FAILURE(link(world, client, signals));

  ASSERT_TRUE(world.removeCharacteristic(sim::VehicleSimulator::controlCharacteristic()));
  EXPECT_FALSE(world.removeCharacteristic(sim::VehicleSimulator::controlCharacteristic()));
  ASSERT_TRUE(signals.waitFor([&](const auto& all) {
    for (const auto& s : all) {
      if (s.member == "InterfacesRemoved" && s.objectPath == control_) return true;
    }
    return false;
  }));
  EXPECT_TRUE(client.find(kCharacteristic, sim::VehicleSimulator::controlCharacteristic()).empty());
  EXPECT_EQ(errorOf([&] { client.write(control_, controlFrame(true, 0, 1), "command"); }),
            "org.freedesktop.DBus.Error.UnknownObject");

  signals.clear();
  ASSERT_TRUE(world.removeDevice());
  ASSERT_TRUE(signals.waitFor([&](const auto& all) {
    return !all.empty() && all.back().member == "InterfacesRemoved" && all.back().objectPath == world.devicePath();
  }));
  // The link ends first, then characteristics and services, then the device.
  std::vector<std::string> removed;
  for (const auto& s : signals.signals()) {
    if (s.member == "InterfacesRemoved") removed.push_back(s.objectPath);
  }
  ASSERT_EQ(removed.size(), 5u);
  EXPECT_EQ(removed.back(), world.devicePath());
  EXPECT_EQ(removed[0].find("/char"), world.devicePath().size() + 12);
  EXPECT_FALSE(signals.changes(world.devicePath(), kDevice, "Connected").back().get<bool>());
  for (const auto& [path, interfaces] : client.objects()) {
    EXPECT_NE(std::string(path).rfind(world.devicePath(), 0), 0u) << path;
  }
  EXPECT_EQ(world.vehicleStats()->devicePath, "/");
}

TEST_F(BluezWorldTest, SilentVehicleSendsNothingAndAStormDeliversEveryValueOfAnyLength) {
  BluezWorld world;
  ASSERT_TRUE(world.ready()) << world.error();
  Client client;
  SignalRecorder signals;
  ASSERT_NO_FATAL_FAILURE(link(world, client, signals));
  ASSERT_TRUE(signals.waitForChanges(state_, kCharacteristic, "Value", 1));

  ASSERT_TRUE(world.setSilent(true));
  pause(0.3);
  signals.clear();
  for (int tick = 1; tick <= 6; ++tick) {
    client.write(control_, controlFrame(true, 0, tick), "command");
    pause(0.05);
  }
  EXPECT_TRUE(signals.changes(state_, kCharacteristic, "Value").empty());
  EXPECT_EQ(world.vehicleStats()->acceptedFrames, 6u);
  ASSERT_TRUE(world.setSilent(false));
  ASSERT_TRUE(signals.waitForChanges(state_, kCharacteristic, "Value", 1));

  // A storm stays in order and loses nothing, from empty values to far above a frame.
  ASSERT_TRUE(world.setSilent(true));
  pause(0.3);
  signals.clear();
  EXPECT_EQ(world.valueStorm(300, 20), 300u);
  EXPECT_EQ(world.valueStorm(1, 0), 1u);
  EXPECT_EQ(world.valueStorm(1, 4096), 1u);
  ASSERT_TRUE(signals.waitForChanges(state_, kCharacteristic, "Value", 302, 5));
  auto values = signals.changes(state_, kCharacteristic, "Value");
  for (std::size_t i = 0; i < 300; ++i) {
    auto value = values[i].get<std::vector<std::uint8_t>>();
    ASSERT_EQ(value.size(), 20u);
    ASSERT_EQ(value[0], static_cast<std::uint8_t>(i & 0xFF));
  }
  EXPECT_TRUE(values[300].get<std::vector<std::uint8_t>>().empty());
  EXPECT_EQ(values[301].get<std::vector<std::uint8_t>>().size(), 4096u);

  // Nothing goes to a client that stopped listening.
  client.call(state_, kCharacteristic, "StopNotify");
  EXPECT_EQ(world.valueStorm(5, 8), 0u);
}

TEST_F(BluezWorldTest, OddNamesAndMalformedObjectsReachTheClientAsTheBusCarriesThem) {
  BluezWorld world;
  ASSERT_TRUE(world.ready()) << world.error();
  Client client;
  SignalRecorder signals;

  // Bytes that are not UTF-8 arrive repaired with U+FFFD; a long name arrives whole.
  auto name = world.setNameBytes(std::string("LUMO\xff-\xc3(\xe2\x82", 10));
  ASSERT_TRUE(name);
  EXPECT_EQ(*name, "LUMO\xEF\xBF\xBD-\xEF\xBF\xBD(\xEF\xBF\xBD");
  ASSERT_TRUE(signals.waitForChanges(world.devicePath(), kDevice, "Name", 1));
  EXPECT_EQ(client.get(world.devicePath(), kDevice, "Name").get<std::string>(), *name);
  EXPECT_EQ(client.get(world.devicePath(), kDevice, "Alias").get<std::string>(), *name);
  std::string longName(2000, 'N');
  ASSERT_TRUE(world.setName(longName));
  EXPECT_EQ(client.get(world.devicePath(), kDevice, "Name").get<std::string>(), longName);

  // A device without address or name, at an odd path, and a property of the wrong type.
  std::string odd = std::string(BluezWorld::kAdapterPath) + "/dev_odd_0_";
  ASSERT_TRUE(world.addObject(odd, kDevice, {{"RSSI", sdbus::Variant(std::string("loud"))}}));
  ASSERT_TRUE(signals.waitFor([&](const auto& all) {
    for (const auto& s : all) {
      if (s.member == "InterfacesAdded" && s.objectPath == odd) return s.interfaces == std::vector<std::string>{kDevice};
    }
    return false;
  }));
  auto objects = client.objects();
  ASSERT_TRUE(objects.count(sdbus::ObjectPath(odd)));
  EXPECT_FALSE(objects[sdbus::ObjectPath(odd)][kDevice].count("Address"));
  EXPECT_EQ(objects[sdbus::ObjectPath(odd)][kDevice].at("RSSI").peekValueType(), "s");
  ASSERT_TRUE(world.updateProperties(world.devicePath(), kDevice, {{"RSSI", sdbus::Variant(std::uint32_t{7})}}));
  ASSERT_TRUE(signals.waitForChanges(world.devicePath(), kDevice, "RSSI", 1));
  EXPECT_EQ(signals.changes(world.devicePath(), kDevice, "RSSI").back().peekValueType(), "u");
}

TEST_F(BluezWorldTest, AdapterlessDenyingAndVanishingBusesAreReportedByTheBus) {
  {
    BluezWorld world(BluezWorld::Options{.adapter = false});
    ASSERT_TRUE(world.ready()) << world.error();
    Client client;
    for (const auto& [path, interfaces] : client.objects()) EXPECT_FALSE(interfaces.count(kAdapter)) << path;
  }
  {
    BluezWorld world(BluezWorld::Options{.denyBluez = true});
    ASSERT_TRUE(world.ready()) << world.error();
    Client client;
    EXPECT_EQ(errorOf([&] { client.objects(); }), "org.freedesktop.DBus.Error.AccessDenied");
    EXPECT_EQ(errorOf([&] { client.call(BluezWorld::kAdapterPath, kAdapter, "StartDiscovery"); }),
              "org.freedesktop.DBus.Error.AccessDenied");
  }
  {
    BluezWorld world;
    ASSERT_TRUE(world.ready()) << world.error();
    Client client;
    ASSERT_NO_THROW(client.objects());
    ASSERT_TRUE(world.killBus());
    EXPECT_NE(errorOf([&] { client.objects(); }), "");
    EXPECT_TRUE(world.vehicleExited(3)) << world.logs();
    EXPECT_FALSE(world.vehicleStats());
  }
}

}  // namespace
}  // namespace lumo::test
