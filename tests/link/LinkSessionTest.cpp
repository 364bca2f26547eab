#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "sim/vehicle/VehicleSimulator.h"
#include "tests/link/BluetoothUtilFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using platform::Bytes;
using sim::VehicleSimulator;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Where one session of the link ends and the next begins: failures the page must hear of,
// and nothing of an ended session reaching the next one.
class LinkSessionTest : public BluetoothUtilTest {
 protected:
  std::size_t writes() const { return radio->countOperations("write "); }
  std::size_t count(ConnectState state) const { return std::count(states.begin(), states.end(), state); }
  // Runs until the link accepted `frames` state frames in this session.
  void acceptFrames(int frames) {
    ASSERT_TRUE(runUntil([&] { return BluetoothUtil::acceptedFrameCountForTesting() >= frames; }, seconds(5)));
    ASSERT_EQ(BluetoothUtil::acceptedFrameCountForTesting(), frames);
  }
};

TEST_F(LinkSessionTest, AConnectThatFailsOrAReconnectThatCannotBeMadeIsReported) {
  VehicleSimulator vehicle(radio, "LUMO-V01");
  radio->simulateConnectionFailure();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(seconds(11));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::connectingDevice,
                                               ConnectState::connectTimedOut}));
  EXPECT_FALSE(BluetoothUtil::getBluetoothDevice());

  // A connection that stalls is reported once, not once per path that sees it end.
  states.clear();
  radio->simulateConnectionStall();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(seconds(11));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::connectingDevice,
                                               ConnectState::connectTimedOut}));

  // An early loss whose reconnect fails: the link is gone for good, and says so.
  states.clear();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(milliseconds(200));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  radio->simulateConnectionFailure();
  vehicle.dropLink();
  runFor(seconds(2));
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: Retrying connection attempt 1"));
  EXPECT_EQ(states.back(), ConnectState::idle);
  EXPECT_FALSE(BluetoothUtil::getBluetoothDevice());
  auto before = writes();
  BluetoothUtil::sendData(Bytes(8, 1));
  EXPECT_EQ(writes(), before);

  // The same for a reconnect that never completes: idle after the manager's time-out, once.
  states.clear();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(milliseconds(200));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  radio->simulateConnectionStall();
  vehicle.dropLink();
  runFor(seconds(12));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::connectingDevice,
                                               ConnectState::linkConnected, ConnectState::idle}));

  // Closed through the manager by someone else: the page must not go on looking connected.
  states.clear();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(milliseconds(200));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  LumoBluetoothManager::getInstance()->disconnect(BluetoothUtil::getBluetoothDevice());
  runFor(seconds(2));
  EXPECT_EQ(states.back(), ConnectState::idle);
  EXPECT_FALSE(BluetoothUtil::getBluetoothDevice());
}

TEST_F(LinkSessionTest, NothingIsWrittenBeforeTheLinkDiscoveredItsOwnServices) {
  VehicleSimulator first(radio, "LUMO-V01");
  VehicleSimulator second(radio, "LUMO-V02");
  const Bytes request = ControlUtil::encodeCmd(true, false, 0, 0, 0, 1);
  // The page starts sending as soon as it hears linkConnected.
  std::vector<std::size_t> writtenAtConnect;
  BluetoothUtil::setOnConnectStateChangeListener([&](ConnectState state) {
    states.push_back(state);
    if (state != ConnectState::linkConnected) return;
    auto before = writes();
    BluetoothUtil::sendData(request);
    writtenAtConnect.push_back(writes() - before);
  });

  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(milliseconds(300));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  BluetoothUtil::sendData(request);
  runFor(milliseconds(10));
  EXPECT_EQ(first.acceptedFrames(), 1u);

  // Reconnected after an early loss: the characteristics of the lost link are not used.
  first.dropLink();
  runFor(milliseconds(1100));
  ASSERT_TRUE(BluetoothUtil::isConnected());

  // Another vehicle in the next session: nothing may go out through the first one's objects.
  BluetoothUtil::disconnect();
  runFor(milliseconds(100));
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V02", 2);
  runFor(milliseconds(300));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  BluetoothUtil::sendData(request);
  runFor(milliseconds(10));
  EXPECT_EQ(second.acceptedFrames(), 1u);
  EXPECT_EQ(first.acceptedFrames(), 1u);

  // A new session while a link is up closes that link rather than keeping it on the side.
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(milliseconds(300));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  EXPECT_FALSE(radio->isConnected(*second.peripheral()));
  EXPECT_EQ(BluetoothUtil::getBluetoothDevice()->identifier(), first.peripheral()->identifier());
  EXPECT_EQ(writtenAtConnect, (std::vector<std::size_t>{0, 0, 0, 0}));
}

TEST_F(LinkSessionTest, AnEndedSessionNeitherSearchesNorReports) {
  auto blank = std::make_shared<SimulatedPeripheral>(std::string(" "));
  radio->addPeripheral(blank);
  VehicleSimulator vehicle(radio, "LUMO-V01");
  radio->setAdapterState(ManagerState::unknown);
  runFor(milliseconds(1));
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  EXPECT_TRUE(consoleHas("LUMOSDK_BluetoothUtil: 蓝牙状态未知，等待状态更新"));
  BluetoothUtil::disconnect();
  // The probe answers after the page left: no scan, no report, no connection.
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(seconds(20));
  EXPECT_TRUE(states.empty());
  EXPECT_EQ(radio->countOperations("scan "), 0u);
  EXPECT_EQ(radio->countOperations("connect "), 0u);

  // A search without a name never takes a nameless-looking peripheral for the vehicle.
  BluetoothUtil::discoverSlaverDevice();
  runFor(seconds(16));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::scanTimedOut}));
  EXPECT_EQ(radio->countOperations("connect "), 0u);

  // Reports already on their way when the session ends are not delivered.
  states.clear();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  BluetoothUtil::disconnect();
  runFor(seconds(20));
  EXPECT_TRUE(states.empty());
  EXPECT_FALSE(BluetoothUtil::isConnected());
}

TEST_F(LinkSessionTest, AnAdapterSwitchedOffEndsEveryStageWithAReport) {
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(seconds(2));
  radio->setAdapterState(ManagerState::poweredOff);
  runFor(milliseconds(10));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::scanTimedOut}));
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(10));

  VehicleSimulator vehicle(radio, "LUMO-V01");
  states.clear();
  radio->simulateConnectionStall();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(seconds(2));
  ASSERT_EQ(states.back(), ConnectState::connectingDevice) << "the scan of a moment ago did not block this one";
  radio->setAdapterState(ManagerState::poweredOff);
  runFor(milliseconds(10));
  EXPECT_EQ(states.back(), ConnectState::connectTimedOut);
  radio->setAdapterState(ManagerState::poweredOn);
  runFor(milliseconds(10));

  states.clear();
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(milliseconds(300));
  ASSERT_TRUE(BluetoothUtil::isConnected());
  radio->setAdapterState(ManagerState::poweredOff);
  // The platform knows at once; its report is still on its way. A frame now goes nowhere.
  BluetoothUtil::sendData(ControlUtil::encodeCmd(true, false, 0, 0, 0, 1));
  EXPECT_EQ(radio->countOperations("writeIgnored "), 0u);
  runFor(milliseconds(1100));
  EXPECT_EQ(states, (std::vector<ConnectState>{ConnectState::scanning, ConnectState::connectingDevice,
                                               ConnectState::linkConnected, ConnectState::idle}));
  EXPECT_EQ(radio->countOperations("connect "), 2u) << "no reconnect is tried with the adapter off";
}

// Destroyed with the listener that captured it.
struct ListenerGuard {
  static inline bool destroyed = false;
  ~ListenerGuard() { destroyed = true; }
};

TEST_F(LinkSessionTest, AListenerMayReplaceItselfWhileItRuns) {
  VehicleSimulator vehicle(radio, "LUMO-V01");
  std::vector<bool> guardGoneInsideCall;
  BluetoothUtil::StateListener replaceState = [&, guard = std::make_shared<ListenerGuard>()](ConnectState state) {
    BluetoothUtil::setOnConnectStateChangeListener([&](ConnectState later) { states.push_back(later); });
    guardGoneInsideCall.push_back(ListenerGuard::destroyed);
    states.push_back(state);
  };
  BluetoothUtil::setOnConnectStateChangeListener(replaceState);
  replaceState = nullptr;
  ListenerGuard::destroyed = false;
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  runFor(milliseconds(300));
  EXPECT_EQ(guardGoneInsideCall, std::vector<bool>{false});
  EXPECT_TRUE(ListenerGuard::destroyed) << "the replaced listener is released afterwards";
  EXPECT_EQ(states.back(), ConnectState::linkConnected);

  BluetoothUtil::DataListener replaceData = [&, guard = std::make_shared<ListenerGuard>()](const Bytes& frame) {
    BluetoothUtil::setOnDataListener([&](const Bytes& later) { frames.push_back(later); });
    guardGoneInsideCall.push_back(ListenerGuard::destroyed);
    frames.push_back(frame);
  };
  frames.clear();
  BluetoothUtil::setOnDataListener(replaceData);
  replaceData = nullptr;
  ListenerGuard::destroyed = false;
  runFor(milliseconds(300));
  EXPECT_EQ(guardGoneInsideCall, (std::vector<bool>{false, false}));
  EXPECT_GE(frames.size(), 2u);
}

TEST_F(LinkSessionTest, TheTenthAcceptedFrameEndsReconnecting) {
  VehicleSimulator vehicle(radio, "LUMO-V01");
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  acceptFrames(9);
  vehicle.dropLink();
  runFor(milliseconds(1100));
  EXPECT_TRUE(BluetoothUtil::isConnected()) << "nine frames: still an early loss";
  EXPECT_EQ(BluetoothUtil::retryCountForTesting(), 1);

  BluetoothUtil::disconnect();
  runFor(milliseconds(100));
  BluetoothUtil::initWithSlaverDeviceName("LUMO-V01", 1);
  states.clear();
  acceptFrames(10);
  vehicle.dropLink();
  runFor(seconds(2));
  EXPECT_FALSE(BluetoothUtil::isConnected()) << "ten frames: the loss is final";
  EXPECT_EQ(BluetoothUtil::retryCountForTesting(), 0);
  EXPECT_EQ(states.back(), ConnectState::idle);
}

}  // namespace
}  // namespace lumo::test
