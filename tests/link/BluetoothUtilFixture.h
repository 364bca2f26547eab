#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/dispatch/Scheduler.h"
#include "tests/link/BleLinkFixture.h"

namespace lumo::test {

// The link as the control page uses it: both listeners record what they hear.
class BluetoothUtilTest : public BleLinkTest {
 protected:
  void SetUp() override {
    BleLinkTest::SetUp();
    BluetoothUtil::setOnConnectStateChangeListener([this](BluetoothUtil::ConnectState state) {
      states.push_back(state);
      if (state == ConnectState::linkConnected) connectedAt = platform::dispatch::Scheduler::clock().now();
    });
    BluetoothUtil::setOnDataListener([this](const platform::Bytes& frame) {
      frames.push_back(frame);
      delays.push_back(ControlUtil::getDelay());
      granted.push_back(ControlUtil::isCanControl());
    });
    EXPECT_TRUE(BluetoothUtil::initialize());
  }

  // Runs until the next instant that lies a whole number of state periods after the link came up.
  void alignWithStateFrames() {
    auto now = platform::dispatch::Scheduler::clock().now();
    auto period = std::chrono::duration_cast<platform::dispatch::MonoTime>(std::chrono::milliseconds(100));
    auto sinceUp = now - connectedAt;
    auto wait = (period - sinceUp % period) % period;
    runFor(std::chrono::duration_cast<platform::dispatch::Seconds>(wait));
  }

  // The page's command loop: a frame every 150 ms, asking for control until it is granted.
  void commandLoop(int frameCount) {
    for (int i = 0; i < frameCount; ++i) {
      BluetoothUtil::sendData(ControlUtil::encodeCmd(!ControlUtil::isCanControl(), false, 0, 30, 0, tick++));
      runFor(std::chrono::milliseconds(150));
    }
  }

  std::vector<ConnectState> states;
  std::vector<platform::Bytes> frames;
  std::vector<int> delays;
  std::vector<bool> granted;
  platform::dispatch::MonoTime connectedAt{};
  std::int64_t tick = 1;  // a vehicle that heard nothing yet echoes 0
};

}  // namespace lumo::test
