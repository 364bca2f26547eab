#include <chrono>

#include "tests/codec/CodecTest.h"

namespace lumo::test {
namespace {

using Bytes = platform::Bytes;

TEST_F(CodecTest, EchoDelayIsMeasuredExactlyInVirtualTime) {
  EXPECT_EQ(ControlUtil::getDelay(), -1);
  EXPECT_TRUE(ControlUtil::checkDelay());  // unknown counts as acceptable

  Bytes sent = ControlUtil::encodeCmd(false, false, 10, 0, 0, 10);
  advanceMillis(250);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), 250);
  EXPECT_TRUE(ControlUtil::checkDelay());

  // The send time stays after a lookup: a repeated echo measures from the same send.
  advanceMillis(249);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), 499);
  EXPECT_TRUE(ControlUtil::checkDelay());

  advanceMillis(1);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), 500);
  EXPECT_FALSE(ControlUtil::checkDelay());

  advanceMillis(499);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), 999);

  // 1000 ms or more is no plausible round trip: reported as unknown, yet still measured.
  advanceMillis(1);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), -1);
  EXPECT_TRUE(ControlUtil::checkDelay());
  EXPECT_EQ(ControlUtil::getMeasuredDelay(), 1000);
  advanceMillis(2000);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getMeasuredDelay(), 3000);

  // A tick whose send time is unknown measures nothing; clearing forgets the measurement.
  ControlUtil::decodeState(stateFrame({1, 1, 0x10, 0, 0, 77, 0}));
  EXPECT_EQ(ControlUtil::getMeasuredDelay(), std::nullopt);
  ControlUtil::decodeState(echoOf(sent));
  ControlUtil::clearData();
  EXPECT_EQ(ControlUtil::getMeasuredDelay(), std::nullopt);
}

TEST_F(CodecTest, DelayIsTruncatedToWholeMilliseconds) {
  Bytes sent = ControlUtil::encodeCmd(false, false, 0, 0, 0, 20);
  runFor(std::chrono::microseconds(1999));
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), 1);

  Bytes next = ControlUtil::encodeCmd(false, false, 0, 0, 0, 21);
  runFor(std::chrono::microseconds(999));
  ControlUtil::decodeState(echoOf(next));
  EXPECT_EQ(ControlUtil::getDelay(), 0);
}

TEST_F(CodecTest, UnknownOrExpiredTicksGiveAnUnknownDelay) {
  Bytes sent = ControlUtil::encodeCmd(false, false, 0, 0, 0, 65536 + 5);
  advanceMillis(80);
  ControlUtil::decodeState(stateFrame({1, 1, 0x10, 0, 0, 5, 0}));  // echo of the wrapped tick
  EXPECT_EQ(ControlUtil::getDelay(), 80);

  // A tick never sent replaces the measured delay with "unknown".
  ControlUtil::decodeState(stateFrame({1, 1, 0x10, 0, 0, 6, 0}));
  EXPECT_EQ(ControlUtil::getDelay(), -1);

  // Send times live for less than 5 s: exactly 5 s later the entry is gone.
  ControlUtil::decodeState(echoOf(sent));
  ASSERT_EQ(ControlUtil::getDelay(), 80);
  advanceMillis(5000 - 80 - 1);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), -1);  // still cached, but far too late
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 1u);
  advanceMillis(1);
  ControlUtil::decodeState(echoOf(sent));
  EXPECT_EQ(ControlUtil::getDelay(), -1);
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 0u);
}

TEST_F(CodecTest, SendTimeCacheHoldsAtMostOneHundredEntries) {
  for (int tick = 0; tick < 100; ++tick) {
    ControlUtil::encodeCmd(false, false, 0, 0, 0, tick);
    advanceMillis(10);
  }
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 100u);

  // The 101st frame evicts the oldest entry (tick 0) before adding its own.
  ControlUtil::encodeCmd(false, false, 0, 0, 0, 100);
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 100u);
  EXPECT_FALSE(ControlUtil::cachedSendTimeForTesting("ts_0").has_value());
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_1").has_value());
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_100").has_value());

  advanceMillis(10);
  Bytes latest = ControlUtil::encodeCmd(false, false, 0, 0, 0, 101);
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 100u);
  EXPECT_FALSE(ControlUtil::cachedSendTimeForTesting("ts_1").has_value());
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_2").has_value());

  // An evicted tick no longer yields a delay; a kept one still does.
  advanceMillis(30);
  ControlUtil::decodeState(stateFrame({1, 1, 0x10, 0, 0, 1, 0}));
  EXPECT_EQ(ControlUtil::getDelay(), -1);
  ControlUtil::decodeState(echoOf(latest));
  EXPECT_EQ(ControlUtil::getDelay(), 30);

  // A frame sent after a long pause finds every older entry expired.
  advanceMillis(5000);
  ControlUtil::encodeCmd(false, false, 0, 0, 0, 7);
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 1u);
}

}  // namespace
}  // namespace lumo::test
