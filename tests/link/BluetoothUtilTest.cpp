#include <gtest/gtest.h>

#include <algorithm>

#include "sim/vehicle/VehicleSimulator.h"
#include "tests/link/BluetoothUtilFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using platform::Bytes;
using sim::VehicleSimulator;
using std::chrono::milliseconds;
using std::chrono::seconds;

TEST_F(BluetoothUtilTest, FindsTheVehicleTakesControlMeasuresTheDelayAndReconnectsOnlyEarly) {
  VehicleSimulator vehicle(radio, "  LUMO-V01 \r\n");
  vehicle.lag(300);
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 42);
  runFor(milliseconds(1));
  EXPECT_EQ(states, std::vector<ConnectState>{ConnectState::scanning});
  runFor(milliseconds(200));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::connectingDevice,
                                               ConnectState::linkConnected}));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Found target device:   LUMO-V01 \\r\\n with identifier: " +
                         vehicle.peripheral()->identifier().fullString()));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: MTU set successfully to: 185"));
  EXPECT_TRUE(BluetoothUtil::isConnected());

  // An early loss: one reconnect, a second later, without a state report of its own.
  vehicle.dropLink();
  runFor(milliseconds(1));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Connection lost before Setting HIGH connection priority, retrying... (1/3)"));
  EXPECT_EQ(states.back(), ConnectState::linkConnected);
  runFor(milliseconds(1100));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Retrying connection attempt 1"));
  ASSERT_EQ(states.size(), 4u);
  EXPECT_EQ(states.back(), ConnectState::linkConnected);

  frames.clear();
  delays.clear();
  granted.clear();
  alignWithStateFrames();
  commandLoop(16);
  EXPECT_EQ(vehicle.acceptedFrames(), 16u);
  EXPECT_GE(vehicle.requestFrames(), 3u);
  EXPECT_TRUE(vehicle.hasControlGranted());
  ASSERT_GE(frames.size(), 10u);
  EXPECT_TRUE(granted.back());
  EXPECT_EQ(ControlUtil::getDriveMode(), VehicleSimulator::remoteTakeover);
  // The echo of a tick shows up in the first state frame at least 300 ms after it was sent; with
  // frames aligned to the sends that is exactly 300 ms.
  std::vector<int> measured;
  std::copy_if(delays.begin(), delays.end(), std::back_inserter(measured), [](int d) { return d >= 0; });
  ASSERT_FALSE(measured.empty());
  EXPECT_EQ(*std::min_element(measured.begin(), measured.end()), 300);
  EXPECT_LE(*std::max_element(measured.begin(), measured.end()), 400) << "at most one state period late";
  EXPECT_GE(BluetoothUtil::acceptedFrameCountForTesting(), 10);

  // From the tenth accepted frame on, a loss is final.
  vehicle.dropLink();
  runFor(seconds(3));
  EXPECT_EQ(states.back(), ConnectState::idle);
  EXPECT_EQ(states.size(), 5u);
  EXPECT_FALSE(BluetoothUtil::getBluetoothDevice());
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_EQ(BluetoothUtil::retryCountForTesting(), 1);
}

TEST_F(BluetoothUtilTest, MatchesNamesExactlyAfterTrimmingAndReportsTimeouts) {
  VehicleSimulator lowerCase(radio, "lumo-v01");
  auto nameless = std::make_shared<SimulatedPeripheral>(std::nullopt);
  radio->addPeripheral(nameless);
  EXPECT_TRUE(BluetoothUtil::initialize());
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: BluetoothUtil already initialized"));
  BluetoothUtil::discoverSlaverDevice();
  runFor(milliseconds(500));
  EXPECT_EQ(states, std::vector<ConnectState>{ConnectState::scanning}) << "searches for the default name";
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 7);
  runFor(seconds(16));
  EXPECT_EQ(states.back(), ConnectState::scanTimedOut);
  EXPECT_FALSE(BluetoothUtil::getBluetoothDevice());

  // A connection that never completes ends in connectTimedOut.
  VehicleSimulator vehicle(radio, "LUMO-V01");
  radio->simulateConnectionStall();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 7);
  runFor(seconds(11));
  EXPECT_EQ(states.back(), ConnectState::connectTimedOut);

  // Adapter not usable: idle at once, no scan.
  radio->setAdapterState(ManagerState::unauthorized);
  runFor(milliseconds(1));
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 7);
  runFor(milliseconds(1));
  EXPECT_EQ(states.back(), ConnectState::idle);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Bluetooth adapter is not enabled, state: unauthorized"));
  bool answer = true;
  BluetoothUtil::checkAndRequestPermissions(nullptr, [&](bool usable) { answer = usable; });
  EXPECT_FALSE(answer);
  EXPECT_EQ(getDesc(ConnectState::connectingDevice), "已发现设备,正在连接");
  EXPECT_EQ(getDesc(ConnectState::idle), "");
  EXPECT_FALSE(connectStateFromRaw(6));
}

TEST_F(BluetoothUtilTest, EveryCheckWaitingOnAnUnknownAdapterIsAnswered) {
  radio->setAdapterState(ManagerState::unknown);
  runFor(milliseconds(1));
  std::vector<bool> answers;
  BluetoothUtil::checkBluetoothEnabled(nullptr, [&](bool usable) { answers.push_back(usable); });
  BluetoothUtil::checkBluetoothEnabled(nullptr, [&](bool usable) { answers.push_back(usable); });
  runFor(milliseconds(1));
  EXPECT_TRUE(answers.empty());
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(1));
  EXPECT_EQ(answers, (std::vector<bool>{true, true}));
}

TEST_F(BluetoothUtilTest, FiltersRepeatedShortAndBadFrames) {
  VehicleSimulator vehicle(radio, "LUMO-V01");
  ControlUtil::setLoggingEnabled(true);
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 3);
  runFor(milliseconds(200));
  ASSERT_EQ(states.back(), ConnectState::linkConnected);
  frames.clear();
  vehicle.repeatFrames(true);
  runFor(milliseconds(300));
  EXPECT_EQ(frames.size(), 3u) << "each repeated frame reaches the listener once";
  vehicle.repeatFrames(false);
  vehicle.sendShortFrames(true);
  runFor(milliseconds(300));
  EXPECT_EQ(frames.size(), 3u);
  vehicle.sendShortFrames(false);
  auto checks = [this] {
    auto lines = consoleLines();
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.rfind("ControlUtil: checksum=", 0) == 0; });
  };
  vehicle.sendBadChecksums(true);
  vehicle.repeatFrames(true);
  auto before = checks();
  runFor(milliseconds(100));
  EXPECT_EQ(checks() - before, 1) << "a bad frame becomes the last frame, so its repeat is dropped unchecked";
  runFor(milliseconds(200));
  EXPECT_EQ(frames.size(), 3u);
  EXPECT_EQ(BluetoothUtil::acceptedFrameCountForTesting(), 3);
}

TEST_F(BluetoothUtilTest, SendsFramesToEveryWritableCharacteristicOfTheLastService) {
  auto robot = std::make_shared<SimulatedPeripheral>("Robot");
  const Uuid first = *Uuid::fromString("FFE0");
  const Uuid last = *Uuid::fromString("FFF0");
  robot->addService({first, {{*Uuid::fromString("FFE1"), property::writeWithoutResponse, {}}}});
  robot->addService({last,
                     {{*Uuid::fromString("FFF1"), property::notify, {}},
                      {*Uuid::fromString("FFF2"), property::write, {}},
                      {*Uuid::fromString("FFF3"), property::writeWithoutResponse | property::write, {}}}});
  std::vector<std::pair<std::string, Bytes>> written;
  robot->setWriteHandler([&](const Uuid& c, const Bytes& data, WriteType type) {
    written.emplace_back(c.uuidString() + (type == WriteType::withResponse ? " r" : " n"), data);
  });
  radio->addPeripheral(robot);
  BluetoothUtil::sendData(Bytes(8, 1));
  BluetoothUtil::initWithSlaverDeviceName("Robot", 9);
  runFor(milliseconds(200));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  Bytes frame = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  BluetoothUtil::sendData(frame);
  runFor(milliseconds(1));
  Bytes expected = frame;
  expected.push_back(0x0D);
  expected.push_back(0x0A);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0], std::make_pair(std::string("FFF2 r"), expected));
  EXPECT_EQ(written[1], std::make_pair(std::string("FFF3 n"), expected));

  // A session that is left while a reconnect is pending stays left.
  robot->dropLinks();
  runFor(milliseconds(1));
  BluetoothUtil::disconnect();
  runFor(seconds(3));
  EXPECT_EQ(radio->countOperations("connect "), 1u);
  EXPECT_FALSE(BluetoothUtil::isConnected());
  BluetoothUtil::sendData(frame);
  runFor(milliseconds(1));
  EXPECT_EQ(written.size(), 2u);
}

TEST_F(BluetoothUtilTest, TheFourthEarlyLossIsFinalAndDisconnectDoesNotReconnect) {
  VehicleSimulator vehicle(radio, "LUMO-V01");
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 5);
  runFor(milliseconds(200));
  for (int loss = 1; loss <= 3; ++loss) {
    vehicle.dropLink();
    runFor(milliseconds(1100));
    EXPECT_TRUE(BluetoothUtil::isConnected()) << "reconnected after loss " << loss;
  }
  vehicle.dropLink();
  runFor(seconds(2));
  EXPECT_EQ(states.back(), ConnectState::idle);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Connection lost before Setting HIGH connection priority, retrying... (3/3)"));

  // A new session starts its counters over; disconnect ends it without a reconnect.
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 5);
  runFor(milliseconds(200));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  auto device = BluetoothUtil::getBluetoothDevice();
  std::size_t reports = states.size();
  BluetoothUtil::disconnect();
  runFor(seconds(3));
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_EQ(states.size(), reports) << "disconnect reports nothing";
  EXPECT_EQ(LumoBluetoothManager::getInstance()->mapsHoldingForTesting(LumoBluetoothManager::peripheralKey(device)),
            (std::vector<std::string>{"deviceConnectionStates"}));
}

}  // namespace
}  // namespace lumo::test
