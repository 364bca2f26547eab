// The writer's files as the format's reference reader sees them: every record, every
// message, the summary and both CRCs.
#include <gtest/gtest.h>

#include <fstream>

#include "lumosdk/recorder/McapWriter.h"
#include "tests/recorder/ReferenceReader.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::recorder {
namespace {

class McapReferenceReaderTest : public lumo::test::VirtualTimeTest {
 protected:
  std::filesystem::path writeFile(const std::string& name, int messages, bool closeIt) {
    const auto path = sandboxDir() / name;
    std::ofstream file(path, std::ios::binary);
    McapWriter writer([&](const std::uint8_t* data, std::size_t size) {
      file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
      return bool(file);
    });
    EXPECT_TRUE(writer.open("", "lumosdk test"));
    const auto s1 = writer.addSchema("lumo.A", "jsonschema", R"({"type":"object","title":"a"})");
    const auto s2 = writer.addSchema("lumo.B", "jsonschema", R"({"type":"object","title":"b"})");
    const auto a = writer.addChannel(s1, "/a", "json");
    const auto b = writer.addChannel(s2, "/b", "json");
    for (int i = 0; i < messages; ++i) {
      // Times beyond 2^53 nanoseconds, which a JSON number would round.
      const std::uint64_t t = 9'007'199'254'740'993ull + 7ull * i;
      EXPECT_TRUE(writer.writeMessage(i % 2 ? b : a, t, t + 1, R"({"i":)" + std::to_string(i) + "}"));
    }
    if (closeIt) {
      EXPECT_TRUE(writer.close());
    }
    return path;
  }
};

TEST_F(McapReferenceReaderTest, EveryMessageSummaryAndCrcHold) {
  const auto reading = testing::readWithReferenceReader(writeFile("whole.mcap", 9, true));
  ASSERT_EQ(reading.error, "");
  auto r = reading.result;  // a copy: a missing key reads as null
  ASSERT_TRUE(r["streamError"].is_null()) << r["streamError"];
  EXPECT_TRUE(r["streamDone"].get<bool>());
  EXPECT_EQ(r["header"]["library"], "lumosdk test");
  EXPECT_EQ(r["schemas"]["2"]["data"]["title"], "b");
  EXPECT_EQ(r["channels"]["2"]["topic"], "/b");
  ASSERT_EQ(r["messages"].size(), 9u);
  for (int i = 0; i < 9; ++i) {
    auto m = r["messages"][i];
    const std::uint64_t t = 9'007'199'254'740'993ull + 7ull * i;
    EXPECT_EQ(m["data"]["i"], i);
    EXPECT_EQ(m["channelId"], i % 2 ? 2 : 1);
    EXPECT_EQ(m["sequence"], i / 2 + 1);
    EXPECT_EQ(m["logTime"], std::to_string(t));
    EXPECT_EQ(m["publishTime"], std::to_string(t + 1));
  }
  ASSERT_TRUE(r["summaryError"].is_null()) << r["summaryError"];
  EXPECT_TRUE(r["dataSectionCrcValid"].get<bool>());
  EXPECT_NE(r["summary"]["summaryCrc"], 0);
  EXPECT_EQ(r["summary"]["schemas"], 2);
  EXPECT_EQ(r["summary"]["channels"], 2);
  auto stats = r["summary"]["statistics"];
  EXPECT_EQ(stats["messageCount"], "9");
  EXPECT_EQ(stats["channelMessageCounts"]["1"], "5");
  EXPECT_EQ(stats["channelMessageCounts"]["2"], "4");
  EXPECT_EQ(stats["messageStartTime"], std::to_string(9'007'199'254'740'993ull));
  EXPECT_EQ(stats["messageEndTime"], std::to_string(9'007'199'254'740'993ull + 56));
  EXPECT_EQ(r["summary"]["offsets"].size(), 3u);  // schema, channel and statistics groups
}

TEST_F(McapReferenceReaderTest, AFileLeftOpenReadsUpToItsLastRecord) {
  const auto reading = testing::readWithReferenceReader(writeFile("open.mcap", 5, false));
  ASSERT_EQ(reading.error, "");
  auto r = reading.result;  // a copy: a missing key reads as null
  EXPECT_TRUE(r["streamError"].is_null()) << r["streamError"];
  EXPECT_FALSE(r["streamDone"].get<bool>());
  EXPECT_EQ(r["messages"].size(), 5u);
  EXPECT_FALSE(r["summaryError"].is_null());
}

}  // namespace
}  // namespace lumo::recorder
