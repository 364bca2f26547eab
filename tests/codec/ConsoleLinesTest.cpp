#include <functional>
#include <string>
#include <vector>

#include "tests/codec/CodecTest.h"

namespace lumo::test {
namespace {

using Bytes = platform::Bytes;
using Lines = std::vector<std::string>;

// One of each path through the codec: a measured delay, a stale echo, an unknown tick, a bad
// checksum, a short frame and a direct check.
void runEveryPath(const std::function<void(int)>& advanceMillis) {
  ControlUtil::encodeCmd(true, false, 0, 30, 0, 7);
  advanceMillis(150);
  ControlUtil::decodeState({0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0xB8});
  advanceMillis(1050);
  ControlUtil::decodeState({0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0xB8});
  ControlUtil::decodeState({0x00, 0x00, 0x20, 0x00, 0x00, 0x09, 0x00, 0xD6});
  ControlUtil::decodeState({0x05, 0x01, 0x10, 0x00, 0x00, 0x07, 0x2A, 0x47});
  ControlUtil::decodeState({0x05, 0x01});
  ControlUtil::checkData({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x06});
  ControlUtil::checkData({});
}

TEST_F(CodecTest, ConsoleLinesAreWrittenVerbatimWhileLoggingIsEnabled) {
  ControlUtil::setLoggingEnabled(true);
  runEveryPath([this](int ms) { advanceMillis(ms); });

  const Lines expected{
      "ControlUtil: 数据字节: 0x05 0x01 0x10 0x00 0x00 0x07 0x2A ",
      "ControlUtil: checksum=0xB8, calcSum=0xB8",
      "ControlUtil: 计算延迟 - tick=7",
      "ControlUtil: 延迟计算 - sendTs=2026-01-01 00:00:00 +0000, now=2026-01-01 00:00:00 +0000, "
      "delay=150ms",
      "ControlUtil: 解码状态 - driveMode=5, canControl=true, safetyWorkState=enabled, delay=150ms, "
      "rollingNum=42",
      // 1200 ms after the send: found, but no plausible round trip.
      "ControlUtil: 数据字节: 0x05 0x01 0x10 0x00 0x00 0x07 0x2A ",
      "ControlUtil: checksum=0xB8, calcSum=0xB8",
      "ControlUtil: 计算延迟 - tick=7",
      "ControlUtil: 延迟值异常 - delay=1200ms",
      "ControlUtil: 解码状态 - driveMode=5, canControl=true, safetyWorkState=enabled, delay=-1ms, "
      "rollingNum=42",
      // Tick 9 was never sent.
      "ControlUtil: 数据字节: 0x00 0x00 0x20 0x00 0x00 0x09 0x00 ",
      "ControlUtil: checksum=0xD6, calcSum=0xD6",
      "ControlUtil: 计算延迟 - tick=9",
      "ControlUtil: 未找到tick=9对应的时间戳",
      "ControlUtil: 解码状态 - driveMode=0, canControl=false, safetyWorkState=unknown, delay=-1ms, "
      "rollingNum=0",
      // The plain sum where the inverted one belongs.
      "ControlUtil: 数据字节: 0x05 0x01 0x10 0x00 0x00 0x07 0x2A ",
      "ControlUtil: checksum=0x47, calcSum=0xB8",
      "ControlUtil: Checksum error",
      "ControlUtil: Data too short",
      "ControlUtil: 数据字节: 0xFF 0xFF 0xFF 0xFF 0xFF 0xFF 0xFF ",
      "ControlUtil: checksum=0x06, calcSum=0x06",
      "ControlUtil: Data too short",
  };
  EXPECT_EQ(consoleLines(), expected);
}

TEST_F(CodecTest, NothingIsWrittenWhileLoggingIsDisabledButResultsAreTheSame) {
  runEveryPath([this](int ms) { advanceMillis(ms); });
  EXPECT_TRUE(consoleLines().empty());
  EXPECT_EQ(ControlUtil::getDriveMode(), 0);
  EXPECT_EQ(ControlUtil::getDelay(), -1);
  EXPECT_EQ(ControlUtil::getRollingNum(), 0);

  // Switching logging off again silences a codec that was logging.
  ControlUtil::setLoggingEnabled(true);
  ControlUtil::decodeState({0x01});
  ControlUtil::setLoggingEnabled(false);
  ControlUtil::decodeState({0x01});
  EXPECT_EQ(consoleLines(), Lines{"ControlUtil: Data too short"});
}

TEST_F(CodecTest, TimestampsInLinesFollowTheVirtualWallClock) {
  ControlUtil::setLoggingEnabled(true);
  advanceMillis(3'723'400);  // 01:02:03.400
  Bytes sent = ControlUtil::encodeCmd(false, false, 0, 0, 0, 300);
  advanceMillis(700);
  clearRecordedLines();
  ControlUtil::decodeState(echoOf(sent, 3));
  EXPECT_TRUE(consoleHas(
      "ControlUtil: 延迟计算 - sendTs=2026-01-01 01:02:03 +0000, now=2026-01-01 01:02:04 +0000, "
      "delay=700ms"));
  EXPECT_TRUE(consoleHas("ControlUtil: 计算延迟 - tick=44"));
}

}  // namespace
}  // namespace lumo::test
