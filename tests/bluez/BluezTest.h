#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/ble/Radio.h"
#include "tests/ble/RecordingCentral.h"
#include "tests/bluez/MockBluez.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

// The BlueZ back-end against the mocked org.bluez, in real time. Every wait has a limit of a
// few seconds; a test that reaches one failed.
class BluezTest : public VirtualTimeTest {
 protected:
  BluezTest() : VirtualTimeTest(false) {}

  void SetUp() override {
    VirtualTimeTest::SetUp();
    platform::ble::Radio::useRadio(platform::ble::RadioKind::bluez);
    start({});
  }

  void start(MockBluez::Options options) {
    phone.reset();
    // The old world first: it puts the system bus address back as it found it.
    bluez.reset();
    bluez = std::make_unique<MockBluez>(options);
    ASSERT_TRUE(bluez->ready()) << bluez->problem();
  }

  void TearDown() override {
    phone.reset();
    bluez.reset();
    platform::ble::Radio::resetForTesting();
    VirtualTimeTest::TearDown();
  }

  bool waitFor(const std::function<bool()>& condition) { return runUntil(condition, std::chrono::seconds(5)); }
  bool waitForEvent(const std::string& prefix, std::size_t count = 1) {
    return waitFor([&] { return phone->count(prefix) >= count; });
  }
  std::string lastEvent() const { return phone->events.empty() ? "" : phone->events.back(); }

  // A device with the vehicle's two characteristics, connected and fully discovered.
  std::shared_ptr<platform::ble::Peripheral> connectToGattDevice(int mtu = 0, int acquireMtu = 0) {
    bluez->addAdapter();
    std::string device = bluez->addDevice("11:22:33:44:55:66", "Sensor");
    std::string service = bluez->addGattService(device, 0x0a, "0000ffe0-0000-1000-8000-00805f9b34fb");
    notifyPath = bluez->addGattCharacteristic(service, 0x0b, "0000ffe1-0000-1000-8000-00805f9b34fb", {"read", "notify"});
    writePath = bluez->addGattCharacteristic(service, 0x0e, "0000ffe2-0000-1000-8000-00805f9b34fb",
                                             {"write", "write-without-response"}, mtu, acquireMtu);
    devicePath = device;
    phone = RecordingCentral::make();
    if (!waitForEvent("state 5")) return nullptr;
    phone->central().scanForPeripherals();
    if (!waitForEvent("discover Sensor")) return nullptr;
    auto peripheral = phone->peripheral("Sensor");
    phone->central().stopScan();
    phone->central().connect(*peripheral);
    if (!waitForEvent("connect Sensor")) return nullptr;
    peripheral->discoverServices();
    bluez->updateProperties(device, "org.bluez.Device1", {{"ServicesResolved", "dbus.Boolean(True)"}});
    if (!waitForEvent("services 1")) return nullptr;
    peripheral->discoverCharacteristics(*peripheral->services()->front());
    if (!waitForEvent("characteristics FFE0 2")) return nullptr;
    return peripheral;
  }

  std::unique_ptr<MockBluez> bluez;
  std::shared_ptr<RecordingCentral> phone;
  std::string devicePath, notifyPath, writePath;
};

}  // namespace lumo::test
