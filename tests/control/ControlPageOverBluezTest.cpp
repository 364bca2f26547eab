#include <gtest/gtest.h>

#include <memory>

#include "platform/ble/Radio.h"
#include "sim/vehicle/VehicleFrames.h"
#include "tests/control/ControlPageTest.h"
#include "tests/support/bluez/BluezForger.h"
#include "tests/support/bluez/BluezWorld.h"

namespace lumo::test {
namespace {

using platform::dispatch::Seconds;

// The whole page over the mocked BlueZ in real time: the demo vehicle answers as a GATT
// device of the mock, driven by the same frame logic as on the simulated radio.
class ControlPageOverBluezTest : public ControlPageTest {
 protected:
  ControlPageOverBluezTest() : ControlPageTest(false) {}

  void SetUp() override {
    world = std::make_unique<BluezWorld>(BluezWorld::Options{.vehicleName = sim::BackendSimulator::kDemoBleName});
    ASSERT_TRUE(world->ready()) << world->error();
    platform::ble::Radio::useRadio(platform::ble::RadioKind::bluez);
    ControlPageTest::SetUp();
  }

  void TearDown() override {
    ControlPageTest::TearDown();
    world.reset();
    platform::ble::Radio::resetForTesting();
  }

  // The control frame the vehicle accepted last.
  std::optional<sim::ControlFrame> lastFrame() {
    auto stats = world->vehicleStats();
    return stats ? sim::VehicleFrames::parseControl(stats->lastFrame) : std::nullopt;
  }

  std::unique_ptr<BluezWorld> world;
};

TEST_F(ControlPageOverBluezTest, DrivesWhileHeldStopsOnReleaseAndLetsGoWhenTheUserLeaves) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  EXPECT_TRUE(world->vehicleStats()->controlGranted);
  EXPECT_TRUE(frames.empty()) << "the simulated radio's vehicle heard nothing";

  window->touchDown(1, centreOf(*page->controlPadUp()));
  ASSERT_TRUE(runUntil([&] { return lastFrame() && lastFrame()->throttle > 0; }, Seconds(2)));
  runFor(Seconds(0.5));
  EXPECT_GT(world->vehicleStats()->speed, 0);

  // Let go: the next frame no longer drives.
  window->touchUp(1, centreOf(*page->controlPadUp()));
  runFor(Seconds(0.4));
  ASSERT_TRUE(lastFrame());
  EXPECT_EQ(lastFrame()->throttle, 0);
  EXPECT_FALSE(isVisible("车辆已被他人接管"));

  // Leave: the link goes, no frame follows, and the vehicle brakes to a standstill.
  page->exitButtonTapped();
  ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }, Seconds(5)));
  ASSERT_TRUE(runUntil([&] { return !world->vehicleStats()->linked; }, Seconds(3)));
  auto accepted = world->vehicleStats()->acceptedFrames;
  runFor(Seconds(0.5));
  EXPECT_EQ(world->vehicleStats()->acceptedFrames, accepted);
  ASSERT_TRUE(runUntil([&] { return world->vehicleStats()->speed == 0; }, Seconds(5)));
}

// Another program on the bus forges what BlueZ and the bus would say: a good state frame that
// takes control away, an adapter that went off, the vehicle leaving, BlueZ leaving. Each is
// sent broadcast and straight to the SDK's connection. None of it reaches the session.
TEST_F(ControlPageOverBluezTest, SignalsForgedByAnotherProgramLeaveTheSessionUntouched) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  BluezForger forger;
  ASSERT_TRUE(forger.ready());
  ASSERT_FALSE(forger.targets().empty()) << "the SDK's connection is on the bus";

  const std::string device = world->devicePath();
  sim::StateFrame withdrawn;
  withdrawn.driveMode = sim::VehicleSimulator::remoteTakeover;
  withdrawn.canControl = false;
  for (int i = 0; i < 10; ++i) {
    withdrawn.rollingNumber = static_cast<std::uint8_t>(200 + i);
    ASSERT_TRUE(forger.forgeValue(device + "/service000a/char000b", sim::VehicleFrames::buildState(withdrawn)));
    runFor(Seconds(0.05));
  }
  ASSERT_TRUE(forger.forgeAdapterAdded(BluezWorld::kAdapterPath, false));
  ASSERT_TRUE(forger.forgeInterfacesRemoved(device, {"org.bluez.Device1"}));
  ASSERT_TRUE(forger.forgeNameOwnerChanged(":1.1", ""));
  runFor(Seconds(1));

  EXPECT_FALSE(saw("车辆已被他人接管"));
  EXPECT_FALSE(page->quitFlag());
  EXPECT_EQ(presentedPage(), page);
  ASSERT_TRUE(world->vehicleStats()->linked);
  EXPECT_TRUE(world->vehicleStats()->controlGranted);
  // Still driving: a press still reaches the vehicle.
  window->touchDown(1, centreOf(*page->controlPadUp()));
  EXPECT_TRUE(runUntil([&] { return lastFrame() && lastFrame()->throttle > 0; }, Seconds(2)));
  window->touchUp(1, centreOf(*page->controlPadUp()));
  // The forger is named once by each of the SDK's connections, not once per signal.
  std::size_t named = 0;
  for (const auto& line : consoleLines()) named += line.find(" " + forger.uniqueName() + " ") != std::string::npos;
  EXPECT_GE(named, 1u);
  EXPECT_LE(named, forger.targets().size());
}

}  // namespace
}  // namespace lumo::test
