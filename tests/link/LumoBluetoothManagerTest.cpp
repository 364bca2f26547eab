#include <gtest/gtest.h>

#include "tests/link/BleLinkFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using platform::Bytes;
using std::chrono::milliseconds;
using std::chrono::seconds;

const Uuid kService = *Uuid::fromString("FFE0");
const Uuid kNotifyA = *Uuid::fromString("FFE1");
const Uuid kWrite = *Uuid::fromString("FFE2");
const Uuid kNotifyB = *Uuid::fromString("FFE3");
const Uuid kOther = *Uuid::fromString("FFE4");

class ManagerTest : public BleLinkTest {
 protected:
  void SetUp() override {
    BleLinkTest::SetUp();
    device = std::make_shared<SimulatedPeripheral>("Robot");
    device->addService({kService,
                        {{kNotifyA, property::notify, {}},
                         {kWrite, property::writeWithoutResponse | property::write, {}},
                         {kNotifyB, property::notify | property::read, {7}},
                         {kOther, property::writeWithoutResponse, {}}}});
    device->setWriteHandler([this](const Uuid& characteristic, const Bytes& data, WriteType) {
      received.emplace_back(characteristic, data);
    });
    radio->addPeripheral(device);
    manager = LumoBluetoothManager::getInstance();
    recorder = std::make_shared<ManagerRecorder>();
    recorder->attach(*manager, recorder);
    runFor(milliseconds(1));
  }

  std::shared_ptr<Peripheral> findRobot() {
    manager->startScan();
    runFor(milliseconds(100));
    manager->stopScan();
    return recorder->found["Robot"];
  }

  std::shared_ptr<Peripheral> connectRobot() {
    auto robot = findRobot();
    if (!robot || !manager->connect(robot, false)) return nullptr;
    runFor(milliseconds(100));
    return robot;
  }

  std::shared_ptr<SimulatedPeripheral> device;
  std::shared_ptr<LumoBluetoothManager> manager;
  std::shared_ptr<ManagerRecorder> recorder;
  std::vector<std::pair<Uuid, Bytes>> received;
};

TEST_F(ManagerTest, ScanStartsOnlyWithTheAdapterOnAndEndsAfterFifteenSeconds) {
  radio->setAdapterState(ManagerState::poweredOff);
  runFor(milliseconds(1));
  EXPECT_FALSE(manager->startScan());
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Cannot start scan, Bluetooth is not enabled"));
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(seconds(1));
  EXPECT_TRUE(manager->isScanning()) << "the one re-check after 1 s starts the scan";
  EXPECT_FALSE(manager->startScan());
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Scan already in progress"));
  runFor(milliseconds(500));
  EXPECT_GE(recorder->count("scan Robot"), 4u) << "duplicates are reported";
  runFor(seconds(15));
  EXPECT_FALSE(manager->isScanning());
  EXPECT_EQ(recorder->count("scanTimeout"), 1u);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Scan timed out."));

  // Still off after 1 s: nothing more happens.
  radio->setAdapterState(ManagerState::unauthorized);
  runFor(milliseconds(1));
  EXPECT_EQ(manager->getAdapterState(), LumoBluetoothAdapterState::unknown);
  EXPECT_FALSE(manager->startScan());
  runFor(seconds(5));
  EXPECT_FALSE(manager->isScanning());
  radio->setAdapterState(ManagerState::resetting);
  runFor(milliseconds(1));
  EXPECT_EQ(manager->getAdapterState(), LumoBluetoothAdapterState::resetting);
  radio->setAdapterState(static_cast<ManagerState>(9));
  runFor(milliseconds(1));
  EXPECT_EQ(manager->getAdapterState(), LumoBluetoothAdapterState::unknown);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Adapter state updated to: 9"));
  EXPECT_FALSE(adapterStateFromRaw(5));
  EXPECT_EQ(adapterStateFromRaw(4), LumoBluetoothAdapterState::reserved);
  EXPECT_FALSE(connectionStateFromRaw(4));
  EXPECT_FALSE(connectionPriorityFromRaw(-1));
}

TEST_F(ManagerTest, ConnectingDiscoversSubscribesAndReportsTheMtu) {
  device->setMaximumWriteLength(244);
  auto robot = findRobot();
  ASSERT_TRUE(robot);
  EXPECT_FALSE(manager->readCharacteristic(robot, kService, kNotifyB));
  EXPECT_TRUE(consoleHas(
      "LUMOSDK_BluetoothManager: Cannot read, peripheral not connected or characteristic not found in cache."));
  ASSERT_TRUE(manager->connect(robot, true));
  EXPECT_FALSE(manager->connect(robot, false));
  std::string key = LumoBluetoothManager::peripheralKey(robot);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Device is already connected or connecting: " + key));
  EXPECT_EQ(key, robot->identifier().fullString());
  EXPECT_TRUE(manager->getServices(robot).empty()) << "no characteristics known yet";
  runFor(milliseconds(50));
  EXPECT_EQ(recorder->events,
            (std::vector<std::string>{"scan Robot", "state 1", "state 2", "mtu 247 ok", "services 1"}));
  EXPECT_TRUE(manager->isConnected(robot));
  // The manager subscribed to both notifying characteristics by itself.
  EXPECT_EQ(radio->countOperations("notify " + key), 2u);
  ASSERT_EQ(manager->getServices(robot).size(), 1u);
  EXPECT_TRUE(manager->readCharacteristic(robot, kService, kNotifyB));
  EXPECT_FALSE(manager->setCharacteristicNotification(robot, kService, *Uuid::fromString("ABCD"), true));
  runFor(milliseconds(1));
  ASSERT_EQ(recorder->values.size(), 1u);
  EXPECT_EQ(recorder->values[0], Bytes{7});
  device->notify(kNotifyA, {1, 2, 3});
  runFor(milliseconds(1));
  EXPECT_EQ(recorder->values.back(), (Bytes{1, 2, 3}));

  // A connection timer that outlives its connection does nothing.
  runFor(seconds(11));
  EXPECT_EQ(recorder->count("connectionTimeout"), 0u);
  EXPECT_TRUE(manager->isConnected(robot));

  manager->disconnect(robot);
  runFor(milliseconds(1));
  EXPECT_EQ(recorder->events[recorder->events.size() - 2], "state 3");
  EXPECT_EQ(recorder->events.back(), "state 0");
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Peripheral disconnected: gracefully"));
  EXPECT_EQ(manager->mapsHoldingForTesting(key), (std::vector<std::string>{"deviceConnectionStates"}));
}

TEST_F(ManagerTest, FailedAndStalledConnectionsEndDisconnectedAndClean) {
  auto robot = findRobot();
  ASSERT_TRUE(robot);
  std::string key = LumoBluetoothManager::peripheralKey(robot);
  radio->simulateConnectionFailure("Connection refused");
  radio->simulateConnectionStall();
  manager->connect(robot, false);
  runFor(milliseconds(100));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Failed to connect: Connection refused"));
  EXPECT_EQ(recorder->events.back(), "state 0");
  EXPECT_EQ(manager->mapsHoldingForTesting(key), (std::vector<std::string>{"deviceConnectionStates"}));

  recorder->events.clear();
  ASSERT_TRUE(manager->connect(robot, false));
  runFor(milliseconds(9999));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"state 1"}));
  radio->clearOperations();
  runFor(milliseconds(1));
  // The platform then confirms the cancelled attempt, which the manager reports once more.
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"state 1", "state 0", "connectionTimeout", "state 0"}));
  EXPECT_EQ(radio->countOperations("cancel " + key), 1u);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Connection timed out for peripheral: " + key));
  // Null peripherals are refused, never dereferenced.
  EXPECT_FALSE(manager->connect(nullptr, false));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Invalid peripheral"));
  manager->disconnect(nullptr);
  EXPECT_FALSE(manager->writeCharacteristic(nullptr, kService, kWrite, {1}, true));
}

TEST_F(ManagerTest, AdapterOffAndDisconnectAllCleanUpWithoutTheirOwnStateReports) {
  auto robot = connectRobot();
  ASSERT_TRUE(robot);
  std::string key = LumoBluetoothManager::peripheralKey(robot);
  recorder->events.clear();
  manager->disconnectAll();
  EXPECT_TRUE(recorder->events.empty()) << "disconnectAll reports nothing by itself";
  EXPECT_EQ(manager->mapsHoldingForTesting(key), (std::vector<std::string>{"knownPeripherals"}));
  runFor(milliseconds(1));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"state 0"})) << "the platform's disconnect reports it";

  ASSERT_TRUE(manager->connect(robot, false));
  runFor(milliseconds(100));
  recorder->events.clear();
  radio->setAdapterState(ManagerState::poweredOff);
  runFor(milliseconds(1));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"state 0"}));
  EXPECT_TRUE(manager->mapsHoldingForTesting(key) == std::vector<std::string>{"deviceConnectionStates"});
  EXPECT_FALSE(manager->isBluetoothEnabled());

  // Delegates that are gone are simply not called.
  recorder.reset();
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(1));
  EXPECT_TRUE(manager->startScan());
  runFor(seconds(16));
  EXPECT_FALSE(manager->isScanning());

  auto old = manager;
  manager->close();
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Manager closed and resources released."));
  manager = LumoBluetoothManager::getInstance();
  EXPECT_NE(manager, old);
  EXPECT_EQ(manager->getAdapterState(), LumoBluetoothAdapterState::unknown) << "a fresh central starts unknown";
}

TEST_F(ManagerTest, AScanForgetsPeripheralsItNoLongerHearsUnlessLinked) {
  auto robot = findRobot();
  ASSERT_TRUE(robot);
  std::string robotKey = LumoBluetoothManager::peripheralKey(robot);
  auto linked = std::make_shared<SimulatedPeripheral>("Linked");
  linked->addService({kService, {{kWrite, property::writeWithoutResponse, {}}}});
  radio->addPeripheral(linked);
  auto linkedHandle = findRobot() ? recorder->found["Linked"] : nullptr;
  ASSERT_TRUE(linkedHandle);
  std::string linkedKey = LumoBluetoothManager::peripheralKey(linkedHandle);
  EXPECT_EQ(manager->mapsHoldingForTesting(robotKey), (std::vector<std::string>{"knownPeripherals"}))
      << "heard by the scan that just ended";
  ASSERT_TRUE(manager->connect(linkedHandle, false));
  runFor(milliseconds(100));

  // The robot goes out of range; a linked peripheral no longer advertises: the next scan hears
  // neither.
  radio->removePeripheral(*device);
  const std::size_t linkedHeard = recorder->count("scan Linked");
  manager->startScan();
  runFor(seconds(16));
  ASSERT_FALSE(manager->isScanning());
  ASSERT_EQ(recorder->count("scan Linked"), linkedHeard);
  EXPECT_TRUE(manager->mapsHoldingForTesting(robotKey).empty());
  auto held = manager->mapsHoldingForTesting(linkedKey);
  EXPECT_NE(std::find(held.begin(), held.end(), "knownPeripherals"), held.end()) << "a linked peripheral stays";
}

TEST_F(ManagerTest, PoweringOffEndsTheScanAndPendingConnections) {
  EXPECT_TRUE(manager->startScan());
  runFor(seconds(5));
  radio->setAdapterState(ManagerState::poweredOff);
  runFor(milliseconds(1));
  EXPECT_FALSE(manager->isScanning());
  EXPECT_EQ(recorder->count("scanTimeout"), 1u) << "whoever waits for the scan hears that it ended";
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(1));
  EXPECT_TRUE(manager->startScan()) << "the scan ended with the adapter, so a new one may start";
  runFor(seconds(14));
  EXPECT_TRUE(manager->isScanning()) << "the first scan's time-out does not end the second";
  EXPECT_EQ(recorder->count("scanTimeout"), 1u);
  runFor(seconds(1));
  EXPECT_FALSE(manager->isScanning());
  EXPECT_EQ(recorder->count("scanTimeout"), 2u);

  // A connection still pending when the adapter goes off will never complete: it ends now.
  auto robot = findRobot();
  ASSERT_TRUE(robot);
  radio->simulateConnectionStall();
  ASSERT_TRUE(manager->connect(robot, false));
  runFor(milliseconds(100));
  recorder->events.clear();
  radio->setAdapterState(ManagerState::poweredOff);
  runFor(seconds(12));
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"state 0"}));
  EXPECT_EQ(manager->connectionState(robot), LumoBluetoothConnectionState::disconnected);
}

}  // namespace
}  // namespace lumo::test
