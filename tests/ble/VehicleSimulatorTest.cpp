#include <gtest/gtest.h>

#include "platform/ble/Radio.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/ble/RecordingCentral.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using platform::Bytes;
using sim::ControlFrame;
using sim::VehicleFrames;
using sim::VehicleSimulator;
using std::chrono::milliseconds;

TEST(VehicleFramesTest, ControlFramesNeedSuffixLengthAndPlainSum) {
  ControlFrame frame{.enableCmd = true, .enableAntiCollision = true, .throttle = -12, .brake = 5, .steering = 100,
                     .tick = 0x1234};
  Bytes wire = VehicleFrames::buildControl(frame);
  ASSERT_EQ(wire.size(), 10u);
  EXPECT_EQ(wire[3], 0x9C) << "steering travels negated";
  auto parsed = VehicleFrames::parseControl(wire);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->throttle, -12);
  EXPECT_EQ(parsed->steering, 100);
  EXPECT_EQ(parsed->tick, 0x1234);
  EXPECT_TRUE(parsed->enableCmd && parsed->enableAntiCollision);

  Bytes badSum = wire;
  badSum[7] ^= 0x01;
  Bytes noSuffix(wire.begin(), wire.begin() + 8);
  Bytes wrongSuffix = wire;
  wrongSuffix[9] = 0x0D;
  Bytes longer = wire;
  longer.push_back(0);
  for (const Bytes& bad : {badSum, noSuffix, wrongSuffix, longer, Bytes{}}) {
    EXPECT_FALSE(VehicleFrames::parseControl(bad));
  }
  // Worked example from the protocol: 05 01 10 00 00 07 2A B8.
  Bytes state = VehicleFrames::buildState({.driveMode = 5, .canControl = true, .antiCollision = true,
                                           .echoedTick = 7, .rollingNumber = 42});
  EXPECT_EQ(state, (Bytes{0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0xB8}));
}

class VehicleSimulatorTest : public VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    radio = Radio::useSimulatedRadio();
    vehicle = std::make_unique<VehicleSimulator>(radio, "LUMO-V01");
    phone = RecordingCentral::make();
    runFor(milliseconds(1));
  }

  // Connects, discovers both services and subscribes to the state characteristic.
  void connect() {
    phone->central().scanForPeripherals();
    runFor(milliseconds(100));
    peripheral = phone->peripheral("LUMO-V01");
    ASSERT_TRUE(peripheral);
    phone->central().stopScan();
    phone->central().connect(*peripheral);
    runFor(milliseconds(50));
    peripheral->discoverServices();
    runFor(milliseconds(0));
    ASSERT_TRUE(peripheral->services());
    ASSERT_EQ(peripheral->services()->size(), 2u);
    EXPECT_EQ(peripheral->services()->back()->uuid(), VehicleSimulator::vehicleService());
    for (const auto& service : *peripheral->services()) peripheral->discoverCharacteristics(*service);
    runFor(milliseconds(0));
    state = phone->characteristic(VehicleSimulator::stateCharacteristic());
    control = phone->characteristic(VehicleSimulator::controlCharacteristic());
    ASSERT_TRUE(state && control);
    EXPECT_TRUE(control->hasProperty(property::writeWithoutResponse));
    peripheral->setNotifyValue(true, *state);
    runFor(milliseconds(0));
    phone->values.clear();
  }

  void send(ControlFrame frame) { peripheral->writeValue(VehicleFrames::buildControl(frame), *control, WriteType::withoutResponse); }

  std::shared_ptr<SimulatedRadio> radio;
  std::unique_ptr<VehicleSimulator> vehicle;
  std::shared_ptr<RecordingCentral> phone;
  std::shared_ptr<Peripheral> peripheral;
  std::shared_ptr<Characteristic> state;
  std::shared_ptr<Characteristic> control;
};

TEST_F(VehicleSimulatorTest, GrantsControlAfterRequestsAndEchoesTicksAfterItsLag) {
  vehicle->setGrantDelay(milliseconds(300));
  vehicle->lag(200);
  ASSERT_NO_FATAL_FAILURE(connect());
  // State frames every 100 ms from the connection on.
  runFor(milliseconds(300));
  ASSERT_EQ(phone->values.size(), 3u);
  EXPECT_EQ(phone->values[0][0], VehicleSimulator::ready);
  EXPECT_EQ(phone->values[1][6], static_cast<std::uint8_t>(phone->values[0][6] + 1)) << "rolling number";

  phone->values.clear();
  for (std::uint16_t tick = 1; tick <= 3; ++tick) {
    send({.enableCmd = true, .tick = tick});
    runFor(milliseconds(150));
  }
  EXPECT_EQ(vehicle->requestFrames(), 3u);
  EXPECT_TRUE(vehicle->hasControlGranted()) << "requests for 300 ms earn control";
  runFor(milliseconds(100));
  const Bytes& latest = phone->values.back();
  EXPECT_EQ(latest[0], VehicleSimulator::remoteTakeover);
  EXPECT_EQ(latest[1], 1);
  EXPECT_EQ(latest[5], 3) << "the latest tick older than the lag";
  EXPECT_EQ(static_cast<std::uint8_t>(~(latest[0] + latest[1] + latest[2] + latest[3] + latest[4] + latest[5] + latest[6])),
            latest[7]);
  // A tick sent now shows up only once the lag has passed.
  send({.enableAntiCollision = true, .tick = 0x0109});
  runFor(milliseconds(100));
  EXPECT_EQ(phone->values.back()[5], 3);
  EXPECT_EQ(phone->values.back()[2], 0x10) << "safety nibble follows the anti-collision flag";
  runFor(milliseconds(100));
  EXPECT_EQ(phone->values.back()[5], 3) << "150 ms after the send";
  runFor(milliseconds(100));
  EXPECT_EQ(phone->values.back()[5], 0x09) << "250 ms after the send";
  EXPECT_LE(vehicle->pendingEchoes(), 1u);

  // Bad frames are ignored.
  Bytes bad = VehicleFrames::buildControl({.tick = 77});
  bad[7] ^= 0xFF;
  peripheral->writeValue(bad, *control, WriteType::withoutResponse);
  peripheral->writeValue(Bytes(bad.begin(), bad.begin() + 8), *control, WriteType::withoutResponse);
  runFor(milliseconds(1));
  EXPECT_EQ(vehicle->rejectedFrames(), 2u);
  EXPECT_EQ(vehicle->lastControlFrame()->tick, 0x0109);
}

TEST_F(VehicleSimulatorTest, DrivesFromInputsAndBrakesWhenThePhoneFallsSilent) {
  ASSERT_NO_FATAL_FAILURE(connect());
  vehicle->grantControl();
  for (int i = 0; i < 20; ++i) {
    send({.throttle = 30, .steering = 0, .tick = static_cast<std::uint16_t>(i)});
    runFor(milliseconds(150));
  }
  EXPECT_FALSE(vehicle->isWatchdogBraking());
  double speed = vehicle->model().speed();
  EXPECT_GT(speed, 1.0);
  EXPECT_GT(vehicle->model().x(), 0.5);
  EXPECT_NEAR(vehicle->model().y(), 0.0, 1e-9);
  send({.throttle = 10, .steering = 50, .tick = 20});
  runFor(milliseconds(400));
  EXPECT_FALSE(vehicle->isWatchdogBraking());
  EXPECT_GT(vehicle->model().heading(), 0.0) << "steering right turns the vehicle";
  runFor(milliseconds(200));
  EXPECT_TRUE(vehicle->isWatchdogBraking()) << "500 ms without a good frame";
  runFor(milliseconds(1500));
  EXPECT_EQ(vehicle->model().speed(), 0.0);
  vehicle->setDoorOpen(true);
  EXPECT_TRUE(vehicle->model().doorOpen());
}

TEST_F(VehicleSimulatorTest, TakeoversAndFaultsShowInTheStateFrames) {
  ASSERT_NO_FATAL_FAILURE(connect());
  vehicle->grantControl();
  vehicle->takeOverRemotely();
  runFor(milliseconds(100));
  EXPECT_EQ(phone->values.back()[0], VehicleSimulator::remoteTakeover);
  EXPECT_EQ(phone->values.back()[1], 0);
  vehicle->takeOverOnSite();
  runFor(milliseconds(100));
  EXPECT_EQ(phone->values.back()[0], VehicleSimulator::onSiteTakeover);
  // While taken over, requests earn nothing.
  for (std::uint16_t tick = 0; tick < 6; ++tick) {
    send({.enableCmd = true, .tick = tick});
    runFor(milliseconds(150));
  }
  EXPECT_FALSE(vehicle->hasControlGranted());
  vehicle->releaseTakeover();
  vehicle->grantControl();
  vehicle->takeOverForSafety();
  runFor(milliseconds(100));
  EXPECT_EQ(phone->values.back()[0], VehicleSimulator::safetyTakeover);
  EXPECT_EQ(phone->values.back()[1], 1);

  phone->values.clear();
  vehicle->sendBadChecksums(true);
  runFor(milliseconds(100));
  vehicle->sendBadChecksums(false);
  vehicle->repeatFrames(true);
  runFor(milliseconds(100));
  vehicle->repeatFrames(false);
  vehicle->sendShortFrames(true);
  runFor(milliseconds(100));
  ASSERT_EQ(phone->values.size(), 4u);
  const Bytes& badSum = phone->values[0];
  std::uint8_t sum = 0;
  for (int i = 0; i < 7; ++i) sum = static_cast<std::uint8_t>(sum + badSum[i]);
  EXPECT_EQ(badSum[7], sum) << "a plain sum instead of its complement";
  EXPECT_EQ(phone->values[1], phone->values[2]);
  EXPECT_EQ(phone->values[3].size(), 7u);

  vehicle->dropLink();
  runFor(milliseconds(1));
  EXPECT_EQ(phone->events.back(), "disconnect The connection has timed out unexpectedly.");
  EXPECT_FALSE(vehicle->hasControlGranted()) << "a lost phone loses control";
  std::uint64_t sent = vehicle->stateFramesSent();
  runFor(milliseconds(500));
  EXPECT_EQ(vehicle->stateFramesSent(), sent);
}

}  // namespace
}  // namespace lumo::test
