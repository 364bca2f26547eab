#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/LumoBluetoothManager.h"
#include "platform/dispatch/Scheduler.h"
#include "tests/link/LinkWorld.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using platform::ble::RadioKind;
using std::chrono::milliseconds;
using std::chrono::seconds;
using ConnectState = BluetoothUtil::ConnectState;

constexpr const char* kVehicle = "LUMO-0001";

// The link end to end, from one test body on each radio: the simulated one in virtual time,
// the mocked BlueZ over a private bus in real time. Waits are conditions with limits, so the
// same body holds on both clocks; the BlueZ runs keep each wait to a few seconds.
class RadioLinkTest : public VirtualTimeTest, public ::testing::WithParamInterface<RadioKind> {
 protected:
  RadioLinkTest() : VirtualTimeTest(GetParam() == RadioKind::simulated) {}

  void SetUp() override {
    VirtualTimeTest::SetUp();
    ASSERT_EQ(platform::dispatch::Scheduler::isVirtual(), GetParam() == RadioKind::simulated)
        << "a BlueZ run needs the system clock: run each test in its own process, as ctest does";
    BluetoothUtil::resetForTesting();
    ControlUtil::resetForTesting();
    world = LinkWorld::make(GetParam(), kVehicle);
    ASSERT_TRUE(world->ready()) << world->problem();
    BluetoothUtil::setOnConnectStateChangeListener([this](ConnectState state) { states.push_back(state); });
    BluetoothUtil::setOnDataListener([this](const platform::Bytes& frame) {
      frames.push_back(frame);
      delays.push_back(ControlUtil::getDelay());
    });
    // Sessions start at once, as a page does: on BlueZ the adapter's first report is still a
    // bus round trip away, which the link must wait for rather than report a failed scan.
    ASSERT_TRUE(BluetoothUtil::initialize());
  }

  void TearDown() override {
    BluetoothUtil::resetForTesting();
    if (auto manager = LumoBluetoothManager::getInstance()) manager->close();
    runFor(milliseconds(10));
    world.reset();
    platform::ble::Radio::resetForTesting();
    VirtualTimeTest::TearDown();
  }

  bool reached(ConnectState state, std::size_t reports, platform::dispatch::Seconds limit = seconds(4)) {
    return runUntil([&] { return states.size() >= reports && states.back() == state; }, limit);
  }
  bool connect() {
    BluetoothUtil::initWithSlaverDeviceName(kVehicle, 42);
    return reached(ConnectState::linkConnected, states.size() + 3) && stateFramesFlow();
  }
  // The link is usable once state frames arrive: its services are discovered and subscribed.
  bool stateFramesFlow() {
    std::size_t before = frames.size();
    return runUntil([&] { return frames.size() > before; }, seconds(3));
  }
  // The page's command loop: a frame every 150 ms, asking for control until it is granted.
  void commandLoop(int frameCount) {
    for (int i = 0; i < frameCount; ++i) {
      BluetoothUtil::sendData(ControlUtil::encodeCmd(!ControlUtil::isCanControl(), false, 0, 30, 0, tick++));
      runFor(milliseconds(150));
    }
  }

  std::unique_ptr<LinkWorld> world;
  std::vector<ConnectState> states;
  std::vector<platform::Bytes> frames;
  std::vector<int> delays;
  std::int64_t tick = 1;
};

TEST_P(RadioLinkTest, FindsTheVehicleTakesControlMeasuresTheDelayAndReconnectsOnlyEarly) {
  ASSERT_TRUE(connect());
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::connectingDevice,
                                               ConnectState::linkConnected}));
  EXPECT_TRUE(BluetoothUtil::isConnected());

  // An early loss: one reconnect, a second later, without a state report of its own.
  world->dropLink();
  ASSERT_TRUE(runUntil([&] { return states.size() == 4; }, seconds(4)));
  EXPECT_EQ(states.back(), ConnectState::linkConnected);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Retrying connection attempt 1"));
  ASSERT_TRUE(stateFramesFlow());

  frames.clear();
  delays.clear();
  commandLoop(16);
  ASSERT_TRUE(runUntil([&] { return world->acceptedFrames() >= 16; }, seconds(2)));
  EXPECT_EQ(world->acceptedFrames(), 16u);
  EXPECT_TRUE(world->controlGranted());
  EXPECT_TRUE(ControlUtil::isCanControl());
  ASSERT_GE(frames.size(), 10u);
  // A state frame echoes the newest tick the vehicle heard, so its delay is at most one command
  // period (150 ms), plus the bus's own time on the BlueZ radio.
  std::vector<int> measured;
  std::copy_if(delays.begin(), delays.end(), std::back_inserter(measured), [](int d) { return d >= 0; });
  ASSERT_FALSE(measured.empty());
  EXPECT_LE(*std::max_element(measured.begin(), measured.end()), GetParam() == RadioKind::simulated ? 150 : 250);

  // From the tenth accepted frame on, a loss is final.
  world->dropLink();
  ASSERT_TRUE(reached(ConnectState::idle, 5));
  EXPECT_FALSE(BluetoothUtil::getBluetoothDevice());
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_EQ(BluetoothUtil::retryCountForTesting(), 1);
}

TEST_P(RadioLinkTest, TheFourthEarlyLossIsFinalAndDisconnectDoesNotReconnect) {
  ASSERT_TRUE(connect());
  for (int loss = 1; loss <= 3; ++loss) {
    world->dropLink();
    ASSERT_TRUE(runUntil([&] { return states.size() == 3u + static_cast<std::size_t>(loss); }, seconds(4)))
        << "no reconnect after loss " << loss;
    EXPECT_EQ(states.back(), ConnectState::linkConnected);
  }
  world->dropLink();
  ASSERT_TRUE(reached(ConnectState::idle, 7));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Connection lost before Setting HIGH connection priority, retrying... (3/3)"));

  // A new session starts its counters over; disconnect ends it without a reconnect.
  ASSERT_TRUE(connect());
  std::size_t reports = states.size();
  BluetoothUtil::disconnect();
  runFor(milliseconds(1500));
  EXPECT_FALSE(BluetoothUtil::isConnected());
  EXPECT_EQ(states.size(), reports) << "disconnect reports nothing";
  EXPECT_EQ(world->acceptedFrames(), 0u);
}

// Faults of the radio, each ending where the simulated radio's same fault ends.
TEST_P(RadioLinkTest, AnAdapterPoweredOffEndsTheSessionForGood) {
  ASSERT_TRUE(connect());
  world->setPowered(false);
  ASSERT_TRUE(reached(ConnectState::idle, 4));
  runFor(milliseconds(1200));
  EXPECT_EQ(states.size(), 4u) << "no reconnect with the adapter off";
  EXPECT_FALSE(BluetoothUtil::isConnected());
}

TEST_P(RadioLinkTest, BluetoothGoingAwayEndsTheSessionForGood) {
  ASSERT_TRUE(connect());
  world->loseBluetooth();
  ASSERT_TRUE(reached(ConnectState::idle, 4));
  runFor(milliseconds(1200));
  EXPECT_EQ(states.size(), 4u);
  EXPECT_FALSE(BluetoothUtil::isConnected());
}

TEST_P(RadioLinkTest, AFailingConnectIsReportedAtOnce) {
  world->failNextConnect();
  BluetoothUtil::initWithSlaverDeviceName(kVehicle, 42);
  ASSERT_TRUE(reached(ConnectState::connectTimedOut, 3));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::connectingDevice,
                                               ConnectState::connectTimedOut}));
  EXPECT_FALSE(BluetoothUtil::getBluetoothDevice());
  ASSERT_TRUE(connect()) << "the next attempt connects";
}

TEST_P(RadioLinkTest, AVehicleThatLeavesEndsIdleOnceItsReconnectTimesOut) {
  ASSERT_TRUE(connect());
  world->removeVehicle();
  // One reconnect a second later, which the 10 s connection timer ends.
  ASSERT_TRUE(reached(ConnectState::idle, 4, seconds(13)));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Retrying connection attempt 1"));
  EXPECT_FALSE(BluetoothUtil::isConnected());
}

TEST_P(RadioLinkTest, AStateCharacteristicThatFallsSilentStopsTheFramesButNotTheLink) {
  ASSERT_TRUE(connect());
  world->loseStateCharacteristic();
  runFor(milliseconds(300));
  std::size_t heard = frames.size();
  commandLoop(4);
  ASSERT_TRUE(runUntil([&] { return world->acceptedFrames() >= 4; }, seconds(2)));
  EXPECT_EQ(frames.size(), heard);
  EXPECT_TRUE(BluetoothUtil::isConnected());
  EXPECT_EQ(states.back(), ConnectState::linkConnected);
}

INSTANTIATE_TEST_SUITE_P(Radios, RadioLinkTest, ::testing::Values(RadioKind::simulated, RadioKind::bluez),
                         [](const auto& info) { return info.param == RadioKind::bluez ? "BlueZ" : "Simulated"; });

}  // namespace
}  // namespace lumo::test
