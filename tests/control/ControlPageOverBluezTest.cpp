#include <gtest/gtest.h>

#include <memory>

#include "platform/ble/Radio.h"
#include "sim/vehicle/VehicleFrames.h"
#include "tests/control/ControlPageTest.h"
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

}  // namespace
}  // namespace lumo::test
