#include <cstdint>

#include "tests/codec/CodecTest.h"

namespace lumo::test {
namespace {

using Bytes = platform::Bytes;
using State = ControlUtil::SafetyWorkState;

TEST_F(CodecTest, ControlFramesCarryFlagsClampedValuesTickAndPlainSum) {
  EXPECT_EQ(ControlUtil::encodeCmd(true, false, 0, 30, 0, 1),
            (Bytes{0x01, 0x00, 0x1E, 0x00, 0x00, 0x01, 0x00, 0x20}));
  // Throttle 45 -> 30, brake -5 -> 0, angle 150 -> 100 -> sent negated as 0x9C.
  EXPECT_EQ(ControlUtil::encodeCmd(false, true, 45, -5, 150, 300),
            (Bytes{0x02, 0x1E, 0x00, 0x9C, 0x01, 0x2C, 0x00, 0xE9}));
  // Lower bounds, negative values in two's complement, both flags.
  EXPECT_EQ(ControlUtil::encodeCmd(true, true, -45, 99, -250, 0x1234),
            (Bytes{0x03, 0xE2, 0x1E, 0x64, 0x12, 0x34, 0x00, 0xAD}));
  // Values just inside the ranges pass unchanged.
  EXPECT_EQ(ControlUtil::encodeCmd(false, false, -7, 12, 37, 0),
            (Bytes{0x00, 0xF9, 0x0C, 0xDB, 0x00, 0x00, 0x00, 0xE0}));

  // The checksum is the plain sum of bytes 0-6, never its complement, for any inputs.
  for (std::int64_t i = -200; i <= 200; i += 7) {
    Bytes frame = ControlUtil::encodeCmd(i % 2 == 0, i % 3 == 0, i, i / 3, i * 2, i * 311);
    ASSERT_EQ(frame.size(), 8u);
    std::uint8_t sum = 0;
    for (int b = 0; b < 7; ++b) sum = static_cast<std::uint8_t>(sum + frame[b]);
    EXPECT_EQ(frame[7], sum) << "input " << i;
    EXPECT_EQ(frame[6], 0);
    EXPECT_LE(frame[0], 3);
    EXPECT_LE(frame[2], 30);
  }
}

TEST_F(CodecTest, TickWrapsAtSixteenBitsAndIsRecordedByItsLowByte) {
  Bytes wrapped = ControlUtil::encodeCmd(false, false, 0, 0, 0, 65536 + 5);
  EXPECT_EQ(wrapped[4], 0x00);
  EXPECT_EQ(wrapped[5], 0x05);
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_5").has_value());

  // Tick 263 = 0x0107: the key holds the decimal low byte without leading zeros.
  Bytes frame = ControlUtil::encodeCmd(false, false, 0, 0, 0, 263);
  EXPECT_EQ(frame[4], 0x01);
  EXPECT_EQ(frame[5], 0x07);
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_7").has_value());
  EXPECT_FALSE(ControlUtil::cachedSendTimeForTesting("ts_007").has_value());
  EXPECT_FALSE(ControlUtil::cachedSendTimeForTesting("ts_263").has_value());
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 2u);

  // A repeated low byte replaces its entry with the newer send time.
  advanceMillis(40);
  ControlUtil::encodeCmd(false, false, 0, 0, 0, 7);
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 2u);
  EXPECT_DOUBLE_EQ(*ControlUtil::cachedSendTimeForTesting("ts_7"),
                   platform::dispatch::VirtualClock::kDefaultStartWallMillis + 40);
}

TEST_F(CodecTest, StateFrameChecksumIsTheInvertedSum) {
  const Bytes good{0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0xB8};
  EXPECT_TRUE(ControlUtil::checkData(good));
  EXPECT_FALSE(ControlUtil::checkData({0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0x47}));  // plain sum
  EXPECT_FALSE(ControlUtil::checkData(Bytes(good.begin(), good.begin() + 7)));
  EXPECT_FALSE(ControlUtil::checkData({}));
  // Extra bytes after the frame (the link's line ending, say) are not read.
  Bytes longer = good;
  longer.insert(longer.end(), {0x0D, 0x0A, 0xFF});
  EXPECT_TRUE(ControlUtil::checkData(longer));
  // Sum wrapping past 0xFF: 7 x 0xFF = 0x6F9 -> 0xF9 -> inverted 0x06.
  EXPECT_TRUE(ControlUtil::checkData({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x06}));
  EXPECT_TRUE(ControlUtil::checkData({0, 0, 0, 0, 0, 0, 0, 0xFF}));
  EXPECT_FALSE(ControlUtil::checkData({0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(CodecTest, GoodStateFramesReplaceTheDecodedState) {
  EXPECT_EQ(ControlUtil::getDriveMode(), -1);
  EXPECT_FALSE(ControlUtil::isCanControl());
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::unknown);
  EXPECT_FALSE(ControlUtil::getRollingNum().has_value());

  ControlUtil::decodeState({0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0xB8});
  EXPECT_EQ(ControlUtil::getDriveMode(), 5);
  EXPECT_TRUE(ControlUtil::isCanControl());
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::enabled);
  EXPECT_EQ(ControlUtil::getRollingNum(), 42);

  // Only bit 0 of byte 1 and the high nibble of byte 2 count; byte 0 is unsigned.
  ControlUtil::decodeState(stateFrame({0xFF, 0xFE, 0x20, 0xAA, 0xBB, 0, 0xFF}));
  EXPECT_EQ(ControlUtil::getDriveMode(), 255);
  EXPECT_FALSE(ControlUtil::isCanControl());
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::unknown);
  EXPECT_EQ(ControlUtil::getRollingNum(), 255);

  ControlUtil::decodeState(stateFrame({0, 0x03, 0x0F, 0, 0, 0, 0}));
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::disabled);
  EXPECT_TRUE(ControlUtil::isCanControl());
  EXPECT_EQ(ControlUtil::getDriveMode(), 0);

  ControlUtil::decodeState(stateFrame({8, 0, 0x1F, 0, 0, 0, 1}));
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::enabled);
  ControlUtil::decodeState(stateFrame({8, 0, 0xF0, 0, 0, 0, 1}));
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::unknown);

  EXPECT_STREQ(ControlUtil::safetyWorkStateName(State::unknown), "unknown");
  EXPECT_STREQ(ControlUtil::safetyWorkStateName(State::disabled), "disabled");
  EXPECT_STREQ(ControlUtil::safetyWorkStateName(State::enabled), "enabled");
}

TEST_F(CodecTest, BadStateFramesChangeNothing) {
  Bytes sent = ControlUtil::encodeCmd(false, false, 0, 0, 0, 9);
  advanceMillis(120);
  ControlUtil::decodeState(stateFrame({3, 1, 0x10, 0, 0, 9, 77}));
  ASSERT_EQ(ControlUtil::getDelay(), 120);

  advanceMillis(100);
  Bytes wrongSum = stateFrame({6, 0, 0x00, 0, 0, 9, 78});
  wrongSum[7] = static_cast<std::uint8_t>(wrongSum[7] + 1);
  ControlUtil::decodeState(wrongSum);
  ControlUtil::decodeState({6, 0, 0x00, 0, 0, 9, 78});  // short
  ControlUtil::decodeState({});

  EXPECT_EQ(ControlUtil::getDriveMode(), 3);
  EXPECT_TRUE(ControlUtil::isCanControl());
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::enabled);
  EXPECT_EQ(ControlUtil::getRollingNum(), 77);
  EXPECT_EQ(ControlUtil::getDelay(), 120);
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 1u);
}

TEST_F(CodecTest, ClearDataKeepsLoggingAndSafetyPolicy) {
  // Start values: safety stays on when accelerating and may go off at low speed.
  EXPECT_FALSE(ControlUtil::canDisableSafety(true));
  EXPECT_TRUE(ControlUtil::canDisableSafety(false));
  ControlUtil::setLoggingEnabled(true);
  ControlUtil::setAccelerationSafetyRequired(false);
  ControlUtil::setLowSpeedSafetyRequired(true);
  ControlUtil::encodeCmd(false, false, 0, 0, 0, 4);
  ControlUtil::decodeState(stateFrame({2, 1, 0x10, 0, 0, 4, 5}));
  ASSERT_EQ(ControlUtil::getDelay(), 0);

  ControlUtil::clearData();
  EXPECT_EQ(ControlUtil::getDriveMode(), -1);
  EXPECT_FALSE(ControlUtil::isCanControl());
  EXPECT_EQ(ControlUtil::getSafetyWorkState(), State::unknown);
  EXPECT_EQ(ControlUtil::getDelay(), -1);
  EXPECT_FALSE(ControlUtil::getRollingNum().has_value());
  EXPECT_EQ(ControlUtil::cachedSendTimeCountForTesting(), 0u);
  EXPECT_TRUE(ControlUtil::isLoggingEnabled());
  EXPECT_FALSE(ControlUtil::isAccelerationSafetyRequired());
  EXPECT_TRUE(ControlUtil::isLowSpeedSafetyRequired());
  EXPECT_TRUE(ControlUtil::canDisableSafety(true));
  EXPECT_FALSE(ControlUtil::canDisableSafety(false));

  ControlUtil::resetForTesting();
  EXPECT_FALSE(ControlUtil::isLoggingEnabled());
  EXPECT_TRUE(ControlUtil::isAccelerationSafetyRequired());
  EXPECT_FALSE(ControlUtil::isLowSpeedSafetyRequired());
}

}  // namespace
}  // namespace lumo::test
