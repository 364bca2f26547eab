// The page's reaction to state frames that the vehicle simulator would not send by itself:
// unknown modes, broken frames, exact delay boundaries and a flood.

#include <gtest/gtest.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "sim/vehicle/VehicleFrames.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::LumoControlPage;
using platform::dispatch::Seconds;
using sim::StateFrame;
using sim::VehicleFrames;

class StateFrameTest : public lumo::test::ControlPageTest {
 protected:
  void SetUp() override {
    ControlPageTest::SetUp();
    vehicle->setFrameObserver([this](const sim::ControlFrame& frame) {
      frames.push_back(frame);
      arrivals.push_back(platform::dispatch::Scheduler::clock().now());
    });
    page = openPage();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(runUntilInControl(page));
    // From here on only the frames the test sends reach the phone.
    vehicle->setSilent(true);
    runFor(Seconds(0.2));
  }

  // A state frame as the vehicle would build it, in control, echoing `tick`.
  void send(std::uint8_t mode, std::uint8_t tick, bool canControl = true) {
    StateFrame state;
    state.driveMode = mode;
    state.canControl = canControl;
    state.echoedTick = tick;
    state.rollingNumber = rolling++;
    vehicle->peripheral()->notify(sim::VehicleSimulator::stateCharacteristic(), VehicleFrames::buildState(state));
  }
  std::uint8_t lastTick() const { return static_cast<std::uint8_t>(frames.back().tick & 0xFF); }

  std::shared_ptr<LumoControlPage> page;
  std::vector<platform::dispatch::MonoTime> arrivals;
  std::uint8_t rolling = 200;
};

TEST_F(StateFrameTest, EveryDriveModeHasItsTextAndUnknownOnesSayUnknown) {
  const std::vector<std::pair<int, std::string>> expected = {
      {0, "准备状态"}, {1, "自动驾驶"}, {2, "仅转向"},   {3, "仅速度"},   {5, "蓝牙遥控"},
      {7, "紧急模式"}, {8, "手机遥控"}, {9, "UNKNOWN"}, {200, "UNKNOWN"}, {255, "UNKNOWN"}};
  for (const auto& [mode, text] : expected) {
    send(static_cast<std::uint8_t>(mode), lastTick());
    runFor(Seconds(0.05));
    EXPECT_EQ(page->driveModeText()->text(), text) << mode;
    EXPECT_FALSE(page->quitFlag()) << mode;
  }
  send(5, lastTick(), false);  // mode 5 without control: someone else took over
  runFor(Seconds(0.05));
  EXPECT_EQ(page->driveModeText()->text(), "远程接管");
  EXPECT_TRUE(page->quitFlag());
}

TEST_F(StateFrameTest, ShortCorruptAndRepeatedFramesChangeNothing) {
  send(7, lastTick());
  runFor(Seconds(0.05));
  ASSERT_EQ(page->driveModeText()->text(), "紧急模式");
  StateFrame state;
  state.driveMode = 1;
  state.canControl = true;
  state.echoedTick = lastTick();
  auto good = VehicleFrames::buildState(state);
  auto shortFrame = good;
  shortFrame.pop_back();
  auto corrupt = good;
  corrupt[7] ^= 0x01;
  auto longFrame = good;
  longFrame.push_back(0);
  for (const auto& bad : {shortFrame, corrupt, longFrame}) {
    vehicle->peripheral()->notify(sim::VehicleSimulator::stateCharacteristic(), bad);
    runFor(Seconds(0.05));
    EXPECT_EQ(page->driveModeText()->text(), "紧急模式");
  }
  vehicle->peripheral()->notify(sim::VehicleSimulator::stateCharacteristic(), good);
  runFor(Seconds(0.05));
  EXPECT_EQ(page->driveModeText()->text(), "自动驾驶");
}

TEST_F(StateFrameTest, FiveHundredMillisecondsIsTheLastDelayThatKeepsTheSession) {
  // Echo the tick that left exactly 500 ms earlier, then one that left 501 ms earlier.
  auto echoAfter = [&](int millis) {
    runFor(Seconds(0.05));
    std::size_t index = frames.size() - 1;
    auto tick = static_cast<std::uint8_t>(frames[index].tick & 0xFF);
    auto due = arrivals[index] + std::chrono::milliseconds(millis);
    runFor(std::chrono::duration_cast<Seconds>(due - platform::dispatch::Scheduler::clock().now()));
    send(5, tick);
    runFor(Seconds(0.001));
  };
  echoAfter(500);
  EXPECT_EQ(page->delayMs(), 500);
  EXPECT_EQ(page->delayText()->text(), "500ms");
  EXPECT_FALSE(page->quitFlag());
  echoAfter(501);
  EXPECT_EQ(page->delayMs(), 501);
  EXPECT_TRUE(page->quitFlag());
}

TEST_F(StateFrameTest, AFloodOfFramesIsFollowedToTheLast) {
  // A thousand distinct frames in one second, then the real rhythm again.
  for (int i = 0; i < 1000; ++i) {
    send(static_cast<std::uint8_t>(i % 2 == 0 ? 5 : 8), lastTick());
    runFor(Seconds(0.001));
  }
  runFor(Seconds(0.05));
  EXPECT_EQ(page->driveModeText()->text(), "手机遥控");
  EXPECT_FALSE(page->quitFlag());
  EXPECT_TRUE(page->isCommandLoopRunning());
  vehicle->setSilent(false);
  page->onForwardSelect();
  runFor(Seconds(1));
  EXPECT_EQ(frames.back().throttle, 10);
}

}  // namespace
