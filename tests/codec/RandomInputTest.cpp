#include <cstdint>
#include <limits>
#include <random>

#include "tests/codec/CodecTest.h"

namespace lumo::test {
namespace {

using Bytes = platform::Bytes;

struct Snapshot {
  int driveMode;
  bool canControl;
  ControlUtil::SafetyWorkState safety;
  int delay;
  std::optional<int> rolling;
  std::size_t cached;

  static Snapshot take() {
    return {ControlUtil::getDriveMode(), ControlUtil::isCanControl(), ControlUtil::getSafetyWorkState(),
            ControlUtil::getDelay(),     ControlUtil::getRollingNum(), ControlUtil::cachedSendTimeCountForTesting()};
  }
  bool operator==(const Snapshot&) const = default;
};

TEST_F(CodecTest, ArbitraryBytesNeverCrashAndOnlyGoodFramesChangeState) {
  std::mt19937_64 random(20260101);
  std::uniform_int_distribution<int> length(0, 20);
  std::uniform_int_distribution<int> byte(0, 255);
  // Seed the state so that "unchanged" is not just the start values.
  ControlUtil::encodeCmd(false, false, 0, 0, 0, 1);
  ControlUtil::decodeState(stateFrame({4, 1, 0x10, 0, 0, 1, 9}));

  int good = 0;
  int rejected = 0;
  for (int i = 0; i < 4000; ++i) {
    ControlUtil::setLoggingEnabled(i % 4 == 0);  // the formatting paths must hold up too
    Bytes data(static_cast<std::size_t>(length(random)));
    for (auto& b : data) b = static_cast<std::uint8_t>(byte(random));
    // Half of the long-enough inputs get a right checksum, so both paths are exercised.
    if (data.size() >= 8 && i % 2 == 0) {
      std::uint8_t sum = 0;
      for (int k = 0; k < 7; ++k) sum = static_cast<std::uint8_t>(sum + data[k]);
      data[7] = static_cast<std::uint8_t>(~sum);
    }
    Snapshot before = Snapshot::take();
    bool accepted = ControlUtil::checkData(data);
    ControlUtil::decodeState(data);
    Snapshot after = Snapshot::take();
    if (!accepted) {
      ++rejected;
      ASSERT_EQ(before, after) << "input " << i << " of " << data.size() << " bytes changed the state";
      continue;
    }
    ++good;
    ASSERT_GE(data.size(), 8u);
    EXPECT_EQ(after.driveMode, data[0]);
    EXPECT_EQ(after.rolling, data[6]);
    EXPECT_EQ(after.canControl, (data[1] & 1) == 1);
    EXPECT_GE(after.delay, -1);
    EXPECT_LE(after.delay, 999);
  }
  EXPECT_GT(good, 500);
  EXPECT_GT(rejected, 500);
}

TEST_F(CodecTest, ExtremeCommandValuesAreClampedNotWrapped) {
  constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  Bytes low = ControlUtil::encodeCmd(false, false, kMin, kMin, kMin, kMin);
  EXPECT_EQ(low, (Bytes{0x00, 0xE2, 0x00, 0x64, 0x00, 0x00, 0x00, 0x46}));
  Bytes high = ControlUtil::encodeCmd(false, false, kMax, kMax, kMax, kMax);
  EXPECT_EQ(high, (Bytes{0x00, 0x1E, 0x1E, 0x9C, 0xFF, 0xFF, 0x00, 0xD6}));
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_0").has_value());
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_255").has_value());
  // A negative tick keeps its low bits: -2 is 0xFFFE on the wire.
  Bytes negative = ControlUtil::encodeCmd(false, false, 0, 0, 0, -2);
  EXPECT_EQ(negative[4], 0xFF);
  EXPECT_EQ(negative[5], 0xFE);
  EXPECT_TRUE(ControlUtil::cachedSendTimeForTesting("ts_254").has_value());
}

}  // namespace
}  // namespace lumo::test
