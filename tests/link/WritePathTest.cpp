#include <gtest/gtest.h>

#include <algorithm>

#include "tests/link/BleLinkFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using platform::Bytes;
using std::chrono::milliseconds;

const Uuid kService = *Uuid::fromString("FFE0");
const Uuid kFirst = *Uuid::fromString("FFE1");
const Uuid kSecond = *Uuid::fromString("FFE2");

class WritePathTest : public BleLinkTest {
 protected:
  void SetUp() override {
    BleLinkTest::SetUp();
    device = std::make_shared<SimulatedPeripheral>("Robot");
    device->addService({kService,
                        {{kFirst, property::writeWithoutResponse | property::write, {}},
                         {kSecond, property::writeWithoutResponse, {}}}});
    device->setMaximumWriteLength(4);
    device->setWriteCredits(3, std::nullopt);
    device->setWriteHandler([this](const Uuid& characteristic, const Bytes& data, WriteType type) {
      received.push_back({characteristic, data, type});
    });
    radio->addPeripheral(device);
    manager = LumoBluetoothManager::getInstance();
    recorder = std::make_shared<ManagerRecorder>();
    recorder->attach(*manager, recorder);
    runFor(milliseconds(1));
    manager->startScan();
    runFor(milliseconds(100));
    manager->stopScan();
    robot = recorder->found["Robot"];
    ASSERT_TRUE(robot);
    key = LumoBluetoothManager::peripheralKey(robot);
    ASSERT_FALSE(manager->writeCharacteristic(robot, kService, kFirst, {1}, true));
    manager->connect(robot, false);
    runFor(milliseconds(100));
    ASSERT_TRUE(manager->isConnected(robot));
  }

  bool write(const Bytes& value, const Uuid& characteristic = kFirst) {
    return manager->writeCharacteristic(robot, kService, characteristic, value, true);
  }

  struct Received {
    Uuid characteristic;
    Bytes data;
    WriteType type;
  };
  std::shared_ptr<SimulatedPeripheral> device;
  std::shared_ptr<LumoBluetoothManager> manager;
  std::shared_ptr<ManagerRecorder> recorder;
  std::shared_ptr<Peripheral> robot;
  std::string key;
  std::vector<Received> received;
};

TEST_F(WritePathTest, WritesWithinTenMillisecondsLeaveAsOneBatchToTheFirstCharacteristic) {
  EXPECT_TRUE(write({1}));
  runFor(milliseconds(4));
  EXPECT_TRUE(write({2}, kSecond));
  runFor(milliseconds(5));
  EXPECT_TRUE(write({3}));
  EXPECT_TRUE(received.empty());
  runFor(milliseconds(1));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].data, (Bytes{1, 2, 3}));
  EXPECT_EQ(received[0].characteristic, kFirst) << "the batch goes where its first write went";
  EXPECT_EQ(received[0].type, WriteType::withoutResponse);
  EXPECT_FALSE(consoleHas("LUMOSDK_BluetoothManager: Data split into 1 chunks for MTU."));
  // A later write opens a new batch.
  EXPECT_TRUE(write({4}, kSecond));
  runFor(milliseconds(10));
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[1].characteristic, kSecond);
  // Exactly the maximum length is one piece and no split is logged.
  radio->returnWriteCredits(*device, 3);
  EXPECT_TRUE(write({1, 2, 3, 4}));
  runFor(milliseconds(10));
  EXPECT_EQ(received.back().data, (Bytes{1, 2, 3, 4}));
  auto lines = consoleLines();
  EXPECT_EQ(lines.end(), std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
              return l.find("Data split") != std::string::npos;
            }));
  // With response: whole, at once, no batch.
  EXPECT_FALSE(manager->writeCharacteristic(robot, kService, *Uuid::fromString("FFEF"), {1}, false));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Characteristic FFEF not found in cache."));
  EXPECT_TRUE(manager->writeCharacteristic(robot, kService, kFirst, Bytes(9, 0xEE), false));
  radio->simulateWriteFailure("Insufficient authentication");
  EXPECT_TRUE(manager->writeCharacteristic(robot, kService, kFirst, {0x42}, false));
  runFor(milliseconds(1));
  EXPECT_EQ(received.back().data, Bytes(9, 0xEE));
  EXPECT_EQ(received.back().type, WriteType::withResponse);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Error writing withResponse: Insufficient authentication"));
}

TEST_F(WritePathTest, LongValuesAreSplitAndDrainAsThePlatformAllows) {
  Bytes value;
  for (std::uint8_t i = 0; i < 10; ++i) value.push_back(i);
  EXPECT_TRUE(write(value));
  runFor(milliseconds(10));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Data split into 3 chunks for MTU."));
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].data, (Bytes{0, 1, 2, 3}));
  EXPECT_EQ(received[2].data, (Bytes{8, 9}));

  // Credits used up: the next pieces wait in order.
  EXPECT_TRUE(write(Bytes(9, 0xAB)));
  runFor(milliseconds(10));
  EXPECT_EQ(received.size(), 3u);
  EXPECT_EQ(manager->queuedWritesForTesting(key), 3u);
  radio->returnWriteCredits(*device, 2);
  runFor(milliseconds(1));
  ASSERT_EQ(received.size(), 5u);
  EXPECT_EQ(received[4].data, Bytes(4, 0xAB));
  EXPECT_EQ(manager->queuedWritesForTesting(key), 1u);
  radio->returnWriteCredits(*device, 3);
  runFor(milliseconds(1));
  ASSERT_EQ(received.size(), 6u);
  EXPECT_EQ(received[5].data, Bytes{0xAB});
  EXPECT_EQ(radio->countOperations("writeDropped"), 0u) << "never writes without a credit";
}

TEST_F(WritePathTest, AFullQueueRefusesNewWritesAndADisconnectDropsEverything) {
  device->setWriteCredits(1, std::nullopt);
  manager->disconnect(robot);
  runFor(milliseconds(1));
  manager->connect(robot, false);
  runFor(milliseconds(100));
  // One credit: the first piece goes, the other ten stay queued.
  EXPECT_TRUE(write(Bytes(44, 1)));
  runFor(milliseconds(10));
  EXPECT_EQ(manager->queuedWritesForTesting(key), 10u);
  EXPECT_FALSE(write({2}));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Write queue is full. Throttling write request."));
  EXPECT_TRUE(manager->writeCharacteristic(robot, kService, kFirst, {3}, false)) << "with response still goes";
  radio->returnWriteCredits(*device, 1);
  runFor(milliseconds(1));
  EXPECT_EQ(manager->queuedWritesForTesting(key), 9u);
  EXPECT_TRUE(write({4}));
  // The link drops with a batch open and pieces queued: all of it is dropped silently.
  device->dropLinks();
  runFor(milliseconds(20));
  EXPECT_EQ(manager->mapsHoldingForTesting(key), (std::vector<std::string>{"deviceConnectionStates"}));
  EXPECT_FALSE(write({5}));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothManager: Cannot write, peripheral not connected."));
}

}  // namespace
}  // namespace lumo::test
