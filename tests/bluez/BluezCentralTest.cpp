#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/bluez/BluezTest.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using std::chrono::milliseconds;
using BluezCentralTest = BluezTest;

TEST_F(BluezCentralTest, AdapterStateFollowsTheAdapterObjectAndItsPower) {
  phone = RecordingCentral::make();
  EXPECT_EQ(phone->central().state(), ManagerState::unknown);
  ASSERT_TRUE(waitForEvent("state"));
  EXPECT_EQ(phone->events, std::vector<std::string>{"state 2"}) << "no adapter: unsupported";

  bluez->addAdapter();
  ASSERT_TRUE(waitForEvent("state 5"));
  bluez->setPowered(false);
  ASSERT_TRUE(waitForEvent("state 4"));
  EXPECT_EQ(phone->central().state(), ManagerState::poweredOff);
  // The platform refuses to scan with the adapter off.
  phone->central().scanForPeripherals();
  EXPECT_FALSE(phone->central().isScanning());
  bluez->setPowered(true);
  ASSERT_TRUE(waitForEvent("state 5", 2));
  bluez->removeAdapter();
  ASSERT_TRUE(waitForEvent("state 2", 2));
  EXPECT_EQ(phone->events, (std::vector<std::string>{"state 2", "state 5", "state 4", "state 5", "state 2"}));
}

TEST_F(BluezCentralTest, ABusPolicyThatRefusesBluezIsUnauthorizedAndABusWithoutItUnsupported) {
  start({.denyBluez = true});
  bluez->addAdapter();
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state"));
  EXPECT_EQ(phone->central().state(), ManagerState::unauthorized);

  // A machine whose bus has no Bluetooth service at all (bluetoothd not installed or stopped).
  start({.bluez = false});
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state"));
  EXPECT_EQ(phone->events, std::vector<std::string>{"state 2"});
  phone->central().scanForPeripherals();
  EXPECT_FALSE(phone->central().isScanning());
}

TEST_F(BluezCentralTest, AnObjectListingOfTheWrongShapeReadsAsNoUsableAdapter) {
  bluez->addAdapter();
  bluez->replaceMethod("/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", "", "s", "ret = 'objects'");
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state"));
  EXPECT_EQ(phone->central().state(), ManagerState::unsupported);
  EXPECT_TRUE(consoleHas("BlueZ: cannot list the Bluetooth objects: org.lumo.Error.MalformedReply "
                         "malformed reply to GetManagedObjects"));
}

TEST_F(BluezCentralTest, DiscoveryReportsNameAndRssiOncePerScanUnlessDuplicatesAreAllowed) {
  bluez->addAdapter();
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state 5"));
  phone->central().scanForPeripherals();
  EXPECT_TRUE(phone->central().isScanning());
  std::string device = bluez->addDevice("AA:BB:CC:DD:EE:01", "Vehicle-7");
  ASSERT_TRUE(waitForEvent("discover"));
  EXPECT_EQ(lastEvent(), "discover Vehicle-7 rssi=-79 named");
  auto discovering = [&] {
    return bluez->evalInMock("bool(objects['/org/bluez/hci0'].props['org.bluez.Adapter1']['Discovering'])");
  };
  EXPECT_TRUE(waitFor([&] { return discovering() == "True"; }));

  bluez->updateProperties(device, "org.bluez.Device1", {{"RSSI", "dbus.Int16(-50)"}});
  bluez->addDevice("AA:BB:CC:DD:EE:02", "Other");  // a later event proves the first was handled
  ASSERT_TRUE(waitForEvent("discover Other"));
  EXPECT_EQ(phone->count("discover Vehicle-7"), 1u) << "without duplicates a device is reported once per scan";

  phone->central().stopScan();
  phone->central().scanForPeripherals(ScanOptions{.allowDuplicates = true});
  ASSERT_TRUE(waitForEvent("discover Vehicle-7", 2)) << "a new scan reports devices already heard";
  bluez->updateProperties(device, "org.bluez.Device1", {{"RSSI", "dbus.Int16(-42)"}});
  ASSERT_TRUE(waitForEvent("discover Vehicle-7", 3));
  EXPECT_EQ(lastEvent(), "discover Vehicle-7 rssi=-42 named");
  EXPECT_EQ(phone->peripheral("Vehicle-7")->identifier().fullString().size(), 36u);

  phone->central().stopScan();
  bluez->updateProperties(device, "org.bluez.Device1", {{"RSSI", "dbus.Int16(-30)"}});
  bluez->addDevice("AA:BB:CC:DD:EE:03", "Late");
  ASSERT_TRUE(waitFor([&] { return discovering() == "False"; }));
  runFor(milliseconds(200));
  EXPECT_EQ(phone->count("discover Late"), 0u) << "nothing is reported after stopScan";
  EXPECT_EQ(phone->count("discover Vehicle-7"), 3u);
}

TEST_F(BluezCentralTest, PeripheralsThatLeftAreForgottenUnlessTheHostHoldsThem) {
  bluez->addAdapter();
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state 5"));
  phone->central().scanForPeripherals();
  std::string leaving = bluez->addDevice("AA:BB:CC:DD:EE:01", "Leaving");
  std::string held = bluez->addDevice("AA:BB:CC:DD:EE:02", "Held");
  ASSERT_TRUE(waitForEvent("discover Held"));
  std::weak_ptr<Peripheral> leavingHandle = phone->peripheral("Leaving");
  auto heldHandle = phone->peripheral("Held");
  phone->forgetPeripherals();
  bluez->removeDevice(leaving);
  bluez->removeDevice(held);
  std::string markerPath = bluez->addDevice("AA:BB:CC:DD:EE:03", "Marker");
  ASSERT_TRUE(waitForEvent("discover Marker"));
  EXPECT_TRUE(leavingHandle.expired()) << "a device that left is not kept for ever";

  // A handle the host still holds is the same peripheral when its device comes back.
  bluez->addDevice("AA:BB:CC:DD:EE:02", "Held");
  ASSERT_TRUE(waitForEvent("discover Held", 2));
  EXPECT_EQ(phone->peripheral("Held"), heldHandle);

  // The end of a scan forgets what nobody holds and nobody links; the next scan finds it again.
  std::weak_ptr<Peripheral> marker = phone->peripheral("Marker");
  phone->forgetPeripherals();
  phone->central().stopScan();
  EXPECT_FALSE(marker.expired()) << "heard by the scan that just ended";
  // The marker's signal is no longer heard (its RSSI invalidated; the Name of the wrong type
  // makes a line that says the change was handled).
  bluez->runInMock("objects['" + markerPath + "'].EmitSignal('org.freedesktop.DBus.Properties', 'PropertiesChanged', "
                   "'sa{sv}as', ['org.bluez.Device1', {'Name': dbus.Int32(5)}, ['RSSI']])");
  ASSERT_TRUE(waitFor([&] { return consoleHas("BlueZ: ignored wrong types for Name on " + markerPath); }));
  phone->central().scanForPeripherals();
  ASSERT_TRUE(waitForEvent("discover Held", 3));
  phone->forgetPeripherals();
  heldHandle.reset();
  phone->central().stopScan();
  EXPECT_TRUE(marker.expired()) << "not heard by the last scan";
}

// A device that changes faster than the main thread can follow fills the main queue only up to
// a bound; other devices still get through.
TEST_F(BluezCentralTest, AStormOfDeviceChangesIsBoundedPerDevice) {
  bluez->addAdapter();
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state 5"));
  phone->central().scanForPeripherals(ScanOptions{.allowDuplicates = true});
  std::string busy = bluez->addDevice("AA:BB:CC:DD:EE:01", "Busy");
  ASSERT_TRUE(waitForEvent("discover Busy"));
  // The main thread is busy in this call while the mock sends the changes.
  bluez->runInMock("o = objects['" + busy + "']\n"
                   "for i in range(2000):\n"
                   "  o.UpdateProperties('org.bluez.Device1', {'RSSI': dbus.Int16(-20 - i % 50)})\n");
  bluez->addDevice("AA:BB:CC:DD:EE:02", "Quiet");
  ASSERT_TRUE(waitForEvent("discover Quiet"));
  EXPECT_LT(phone->count("discover Busy"), 1500u);
  auto lines = consoleLines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.rfind("BlueZ: the main queue is behind; dropping events about " + busy + " (", 0) == 0;
  }));
}

// However far behind the main thread is, the end of a link is never among what is dropped:
// a session must hear that its vehicle is gone.
TEST_F(BluezCentralTest, ALinkThatEndsDuringAStormIsStillReported) {
  bluez->addAdapter();
  std::string device = bluez->addDevice("AA:BB:CC:DD:EE:01", "Vehicle-7");
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state 5"));
  phone->central().scanForPeripherals(ScanOptions{.allowDuplicates = true});
  ASSERT_TRUE(waitForEvent("discover Vehicle-7"));
  auto peripheral = phone->peripheral("Vehicle-7");
  phone->central().connect(*peripheral);
  ASSERT_TRUE(waitForEvent("connect Vehicle-7"));
  bluez->runInMock("o = objects['" + device + "']\n"
                   "for i in range(200):\n"
                   "  o.UpdateProperties('org.bluez.Device1', {'RSSI': dbus.Int16(-20 - i % 50)})\n"
                   "o.UpdateProperties('org.bluez.Device1', {'Connected': dbus.Boolean(False)})\n");
  ASSERT_TRUE(waitForEvent("disconnect")) << ::testing::PrintToString(phone->events);
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
}

TEST_F(BluezCentralTest, ConnectCancelFailureAndRemovalEndLikeThePhone) {
  bluez->addAdapter();
  std::string device = bluez->addDevice("AA:BB:CC:DD:EE:01", "Vehicle-7");
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state 5"));
  phone->central().scanForPeripherals();
  ASSERT_TRUE(waitForEvent("discover Vehicle-7"));
  auto peripheral = phone->peripheral("Vehicle-7");
  phone->central().connect(*peripheral);
  EXPECT_EQ(peripheral->state(), PeripheralState::connecting);
  ASSERT_TRUE(waitForEvent("connect Vehicle-7"));
  EXPECT_EQ(peripheral->state(), PeripheralState::connected);

  phone->central().cancelPeripheralConnection(*peripheral);
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  ASSERT_TRUE(waitForEvent("disconnect"));
  EXPECT_EQ(lastEvent(), "disconnect -");
  ASSERT_TRUE(waitFor([&] { return bluez->evalInMock("objects['" + device + "'].connected") == "False"; }));

  bluez->replaceMethod(device, "org.bluez.Device1", "Connect", "", "",
                       "raise dbus.exceptions.DBusException('Page Timeout', name='org.bluez.Error.Failed')");
  phone->central().connect(*peripheral);
  ASSERT_TRUE(waitForEvent("fail")) << ::testing::PrintToString(phone->events);
  EXPECT_EQ(lastEvent(), "fail Page Timeout");
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);

  bluez->replaceMethod(device, "org.bluez.Device1", "Connect", "", "",
                       "self.UpdateProperties('org.bluez.Device1', {'Connected': dbus.Boolean(True)})");
  phone->central().connect(*peripheral);
  ASSERT_TRUE(waitForEvent("connect Vehicle-7", 2));
  bluez->removeDevice(device);
  ASSERT_TRUE(waitForEvent("disconnect", 2));
  EXPECT_EQ(lastEvent(), "disconnect The connection has timed out unexpectedly.");
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  phone->central().connect(*peripheral);
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected) << "a removed device cannot be connected";
}

TEST_F(BluezCentralTest, PowerOffAndALostBusEndEveryLinkWithAnError) {
  auto peripheral = connectToGattDevice();
  ASSERT_TRUE(peripheral);
  bluez->setPowered(false);
  ASSERT_TRUE(waitForEvent("disconnect"));
  EXPECT_EQ(lastEvent(), "disconnect Bluetooth was powered off.");
  EXPECT_EQ(phone->count("state 4"), 1u);
  EXPECT_FALSE(phone->central().isScanning());

  bluez->setPowered(true);
  ASSERT_TRUE(waitForEvent("state 5", 2));
  phone->central().connect(*peripheral);
  ASSERT_TRUE(waitForEvent("connect Sensor", 2));
  bluez->stopDaemon();
  ASSERT_TRUE(waitForEvent("disconnect", 2));
  EXPECT_EQ(lastEvent(), "disconnect Bluetooth is unavailable.");
  EXPECT_EQ(phone->central().state(), ManagerState::unsupported);
  // Operations on a dead bus are refused quietly.
  phone->central().scanForPeripherals();
  phone->central().connect(*peripheral);
  runFor(milliseconds(50));
  EXPECT_FALSE(phone->central().isScanning());
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
}

TEST_F(BluezCentralTest, MalformedObjectsAndSignalsAreIgnoredWithAConsoleLine) {
  bluez->addAdapter();
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state 5"));
  phone->central().scanForPeripherals(ScanOptions{.allowDuplicates = true});
  const std::string added = "'oa{sa{sv}}', [dbus.ObjectPath('";
  // A device whose address is a number, one outside org.bluez's tree, one with a path that
  // is valid D-Bus but not BlueZ's, a name of the wrong type, and a signal of the wrong shape.
  bluez->emitFromRoot("org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                      added + "/org/bluez/hci0/dev_1'), {'org.bluez.Device1': {'Address': dbus.Int32(5)}}]");
  bluez->emitFromRoot("org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                      added + "/com/example/dev_2'), {'org.bluez.Device1': {'Address': 'AA:00:00:00:00:02'}}]");
  bluez->emitFromRoot("org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                      added + "/org/bluez'), {'org.bluez.Device1': {'Address': 'AA:00:00:00:00:03'}}]");
  bluez->emitFromRoot("org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                      added + "/org/bluez/hci0/dev_4'), {'org.bluez.Device1': {'Address': 'A', 'Name': dbus.UInt32(7)}}]");
  bluez->emitFromRoot("org.freedesktop.DBus.ObjectManager", "InterfacesAdded", "'s', ['not an object']");
  bluez->emitFromRoot("org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                      added + "/org/bluez/hci0'), {'org.bluez.Adapter1': {'Powered': 'yes'}}]");
  std::string device = bluez->addDevice("AA:BB:CC:DD:EE:01", "Fine");
  ASSERT_TRUE(waitForEvent("discover Fine"));
  EXPECT_EQ(phone->count("discover"), 1u) << "only the well-formed device is reported";
  bluez->updateProperties(device, "org.bluez.Device1", {{"RSSI", "'loud'"}});
  bluez->updateProperties("/org/bluez/hci0", "org.bluez.Adapter1", {{"Powered", "dbus.String('off')"}});
  bluez->updateProperties(device, "org.bluez.Device1", {{"RSSI", "dbus.Int16(-20)"}});
  ASSERT_TRUE(waitForEvent("discover Fine", 2)) << ::testing::PrintToString(consoleLines());
  EXPECT_EQ(lastEvent(), "discover Fine rssi=-20 named") << ::testing::PrintToString(phone->events);
  EXPECT_EQ(phone->central().state(), ManagerState::poweredOn) << "a Powered of the wrong type changes nothing";

  auto lines = consoleLines();
  auto has = [&](const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(has("BlueZ: ignored device /org/bluez/hci0/dev_1 without a text Address"));
  EXPECT_TRUE(has("BlueZ: ignored device at an unexpected path /com/example/dev_2"));
  EXPECT_TRUE(has("BlueZ: ignored device at an unexpected path /org/bluez\n") || has("unexpected path /org/bluez"));
  EXPECT_TRUE(has("BlueZ: ignored device /org/bluez/hci0/dev_4 with wrong types for Name"));
  EXPECT_TRUE(has("BlueZ: ignored a malformed InterfacesAdded signal from /"));
  EXPECT_TRUE(has("BlueZ: ignored adapter /org/bluez/hci0 without a boolean Powered"));
  EXPECT_TRUE(has("BlueZ: ignored wrong types for RSSI on " + device));
  EXPECT_TRUE(has("BlueZ: ignored a Powered of the wrong type on /org/bluez/hci0"));
}

TEST_F(BluezCentralTest, NamesOfAnyContentAndLengthArriveUnchanged) {
  bluez->addAdapter();
  phone = RecordingCentral::make();
  ASSERT_TRUE(waitForEvent("state 5"));
  phone->central().scanForPeripherals();
  const std::string replacement = "Car \xEF\xBF\xBD 7";
  const std::string longName(10 * 1024, 'n');
  bluez->addDevice("AA:BB:CC:DD:EE:01", replacement);
  bluez->addDevice("AA:BB:CC:DD:EE:02", longName);
  ASSERT_TRUE(waitForEvent("discover", 2));
  EXPECT_TRUE(phone->peripheral(replacement));
  EXPECT_TRUE(phone->peripheral(longName));
}

}  // namespace
}  // namespace lumo::test
