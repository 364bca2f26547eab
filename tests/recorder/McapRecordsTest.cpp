// The MCAP writer and its record-level reader against each other: what is written reads
// back, and a file cut or damaged anywhere gives its whole records and says where it stopped.
#include <gtest/gtest.h>

#include <string>

#include "lumosdk/recorder/Crc32.h"
#include "lumosdk/recorder/McapReader.h"
#include "lumosdk/recorder/McapWriter.h"

namespace lumo::recorder {
namespace {

struct Written {
  platform::Bytes bytes;
  std::vector<std::uint64_t> recordEnds;  // file size after each record handed to the sink
};

Written writeSample(int messages, bool closeIt = true) {
  Written out;
  McapWriter writer([&](const std::uint8_t* data, std::size_t size) {
    out.bytes.insert(out.bytes.end(), data, data + size);
    out.recordEnds.push_back(out.bytes.size());
    return true;
  });
  EXPECT_TRUE(writer.open("", "lumosdk test"));
  const auto schema = writer.addSchema("lumo.Sample", "jsonschema", R"({"type":"object"})");
  const auto a = writer.addChannel(schema, "/a", "json");
  const auto b = writer.addChannel(schema, "/b", "json");
  for (int i = 0; i < messages; ++i) {
    EXPECT_TRUE(writer.writeMessage(i % 3 == 2 ? b : a, 1000 + i, 1000 + i, "{\"i\":" + std::to_string(i) + "}"));
  }
  if (closeIt) {
    EXPECT_TRUE(writer.close());
  }
  return out;
}

TEST(McapRecords, ChecksumIsTheStandardCrc32) {
  const std::string text = "123456789";
  EXPECT_EQ(Crc32::of(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0xCBF43926u);
  Crc32 pieces;
  pieces.update(reinterpret_cast<const std::uint8_t*>(text.data()), 4);
  pieces.update(reinterpret_cast<const std::uint8_t*>(text.data()) + 4, 5);
  EXPECT_EQ(pieces.value(), 0xCBF43926u);
}

TEST(McapRecords, WhatIsWrittenReadsBackWithSequencesPerChannelAndSummary) {
  const auto file = writeSample(7);
  const auto contents = McapReader::read(file.bytes);
  ASSERT_TRUE(contents.complete) << contents.problem->reason;
  EXPECT_EQ(contents.library, "lumosdk test");
  ASSERT_EQ(contents.schemas.size(), 1u);
  EXPECT_EQ(contents.schemas[0].data, R"({"type":"object"})");
  ASSERT_EQ(contents.channels.size(), 2u);
  ASSERT_EQ(contents.messages.size(), 7u);
  std::uint32_t expectA = 0, expectB = 0;
  for (int i = 0; i < 7; ++i) {
    const auto& m = contents.messages[i];
    EXPECT_EQ(m.data, "{\"i\":" + std::to_string(i) + "}");
    EXPECT_EQ(m.logTime, 1000u + i);
    EXPECT_EQ(contents.channel(m.channelId)->topic, i % 3 == 2 ? "/b" : "/a");
    EXPECT_EQ(m.sequence, i % 3 == 2 ? ++expectB : ++expectA);
  }
  ASSERT_TRUE(contents.statistics);
  EXPECT_EQ(contents.statistics->messageCount, 7u);
  EXPECT_EQ(contents.statistics->channelCount, 2u);
  EXPECT_EQ(contents.statistics->messageStartTime, 1000u);
  EXPECT_EQ(contents.statistics->messageEndTime, 1006u);
}

TEST(McapRecords, ACutAtEveryByteKeepsTheWholeRecordsBeforeIt) {
  // A file left by a crash has no summary: cut it inside its last message, at every byte.
  const auto open = writeSample(5, false);
  const std::uint64_t lastStart = open.recordEnds[open.recordEnds.size() - 2];
  for (std::uint64_t size = lastStart; size < open.bytes.size(); ++size) {
    const auto contents = McapReader::read(std::span(open.bytes.data(), size));
    EXPECT_FALSE(contents.complete);
    ASSERT_TRUE(contents.problem);
    EXPECT_EQ(contents.problem->offset, lastStart) << "cut at " << size;
    EXPECT_EQ(contents.messages.size(), 4u) << "cut at " << size;
  }
  const auto whole = McapReader::read(open.bytes);
  EXPECT_EQ(whole.messages.size(), 5u);
  EXPECT_NE(whole.problem->reason.find("no data section end"), std::string::npos);

  // A closed file cut anywhere in its tail still gives every message.
  const auto closed = writeSample(5);
  for (std::uint64_t size = closed.recordEnds[closed.recordEnds.size() - 2]; size < closed.bytes.size(); ++size) {
    const auto contents = McapReader::read(std::span(closed.bytes.data(), size));
    EXPECT_FALSE(contents.complete) << "cut at " << size;
    EXPECT_EQ(contents.messages.size(), 5u) << "cut at " << size;
  }
}

TEST(McapRecords, DamageIsFoundAndNamed) {
  const auto file = writeSample(4);
  const auto messageEnd = file.recordEnds[5];  // magic, header, schema, 2 channels, 1st message
  {
    auto damaged = file.bytes;
    damaged[messageEnd - 2] ^= 0x20;  // inside the first message's data
    const auto contents = McapReader::read(damaged);
    EXPECT_FALSE(contents.complete);
    ASSERT_TRUE(contents.problem);
    EXPECT_NE(contents.problem->reason.find("data section CRC"), std::string::npos);
    EXPECT_EQ(contents.messages.size(), 4u);
  }
  {
    auto damaged = file.bytes;
    damaged[file.bytes.size() - 40] ^= 0x01;  // inside the last summary offset
    const auto contents = McapReader::read(damaged);
    EXPECT_FALSE(contents.complete);
    ASSERT_TRUE(contents.problem);
    EXPECT_NE(contents.problem->reason.find("summary CRC"), std::string::npos) << contents.problem->reason;
  }
  {
    // A length that claims more than the file holds stops there, without reading past it.
    auto damaged = file.bytes;
    damaged[file.recordEnds[4] + 8] = 0x7F;  // the top byte of the first message's length
    const auto contents = McapReader::read(damaged);
    EXPECT_EQ(contents.problem->offset, file.recordEnds[4]);
    EXPECT_TRUE(contents.messages.empty());
  }
  {
    auto damaged = file.bytes;
    damaged[0] = 'X';
    EXPECT_EQ(McapReader::read(damaged).problem->reason, "no MCAP magic at the start");
  }
}

TEST(McapRecords, ASinkRefusalFailsTheWriterForGood) {
  int accepted = 0;
  McapWriter writer([&](const std::uint8_t*, std::size_t) { return ++accepted <= 3; });
  ASSERT_TRUE(writer.open("", "x"));  // magic and header
  const auto schema = writer.addSchema("s", "jsonschema", "{}");
  EXPECT_NE(schema, 0);
  EXPECT_EQ(writer.addChannel(schema, "/a", "json"), 0);
  EXPECT_TRUE(writer.failed());
  EXPECT_FALSE(writer.writeMessage(1, 0, 0, "{}"));
  EXPECT_FALSE(writer.close());
  EXPECT_EQ(accepted, 4);
}

}  // namespace
}  // namespace lumo::recorder
