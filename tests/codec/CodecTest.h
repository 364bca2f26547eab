#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>

#include "lumosdk/utils/ControlUtil.h"
#include "platform/foundation/Bytes.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

// Codec tests start from the codec's start values and leave them behind.
class CodecTest : public VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    ControlUtil::resetForTesting();
  }
  void TearDown() override {
    ControlUtil::resetForTesting();
    VirtualTimeTest::TearDown();
  }

  void advanceMillis(int millis) { runFor(std::chrono::milliseconds(millis)); }

  // A state frame from its seven content bytes, with the vehicle's checksum (the inverted sum).
  static platform::Bytes stateFrame(std::initializer_list<std::uint8_t> content) {
    platform::Bytes frame(content);
    std::uint8_t sum = 0;
    for (std::uint8_t byte : frame) sum = static_cast<std::uint8_t>(sum + byte);
    frame.push_back(static_cast<std::uint8_t>(~sum));
    return frame;
  }

  // The vehicle's answer to a control frame: drive mode 1, control granted, safety enabled.
  static platform::Bytes echoOf(const platform::Bytes& controlFrame, std::uint8_t rolling = 0) {
    return stateFrame({1, 1, 0x10, 0, 0, controlFrame.at(5), rolling});
  }
};

}  // namespace lumo::test
