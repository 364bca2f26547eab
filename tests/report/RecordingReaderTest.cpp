#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/wait.h>

#include "lumosdk/recorder/McapWriter.h"
#include "tests/report/RecordingFile.h"
#include "tests/report/SessionStory.h"
#include "tests/support/VirtualTimeTest.h"
#include "tools/session_report/RecordingReader.h"
#include "tools/session_report/SessionSummary.h"

namespace report::test {
namespace {

// Every record of the trace as read equals the one written.
void expectSameRecords(const SessionTrace& read, const SessionTrace& written) {
  ASSERT_TRUE(read.start);
  EXPECT_EQ(read.start->vin, written.start->vin);
  EXPECT_EQ(read.start->vehicleName, written.start->vehicleName);
  EXPECT_EQ(read.start->wallTimeMs, written.start->wallTimeMs);
  EXPECT_EQ(read.start->time, written.start->time);
  ASSERT_EQ(read.control.size(), written.control.size());
  for (std::size_t i = 0; i < read.control.size(); ++i) {
    const auto &a = read.control[i], &b = written.control[i];
    EXPECT_TRUE(a.time == b.time && a.seq == b.seq && a.throttle == b.throttle && a.brake == b.brake &&
                a.steering == b.steering && a.bytes == b.bytes)
        << "control frame " << i;
  }
  ASSERT_EQ(read.states.size(), written.states.size());
  for (std::size_t i = 0; i < read.states.size(); ++i) {
    const auto &a = read.states[i], &b = written.states[i];
    EXPECT_TRUE(a.time == b.time && a.accepted == b.accepted && a.refusal == b.refusal && a.delayMs == b.delayMs &&
                a.driveMode == b.driveMode && a.authority == b.authority)
        << "state frame " << i;
  }
  EXPECT_EQ(read.links.size(), written.links.size());
  EXPECT_EQ(read.inputs.size(), written.inputs.size());
  ASSERT_EQ(read.ui.size(), written.ui.size());
  EXPECT_EQ(read.ui.back().text, written.ui.back().text);
  ASSERT_EQ(read.end.has_value(), written.end.has_value());
  if (read.end) {
    EXPECT_EQ(read.end->reason, written.end->reason);
  }
}

std::size_t recordsIn(const SessionTrace& t) {
  return (t.start ? 1 : 0) + t.control.size() + t.states.size() + t.links.size() + t.inputs.size() + t.ui.size() +
         (t.end ? 1 : 0);
}

TEST(RecordingReader, AWholeRecordingReadsBackAsTheSessionWent) {
  auto story = SessionStory::typical();
  auto file = RecordingFile::write(story.trace);
  auto trace = RecordingReader::read(file.bytes);
  EXPECT_FALSE(trace.cut) << trace.cut->why;
  EXPECT_TRUE(trace.skipped.empty());
  expectSameRecords(trace, story.trace);
  EXPECT_EQ(SessionSummary::describe(trace), SessionSummary::describe(story.trace));
}

TEST(RecordingReader, ACutAtAnyByteOfTheLastRecordKeepsEverythingBeforeIt) {
  auto story = SessionStory::typical();
  // As a crash leaves it: no data end, no summary.
  auto file = RecordingFile::write(story.trace, false);
  ASSERT_EQ(file.bytes.size(), file.lastMessageEnd);
  for (std::uint64_t size = file.lastMessageStart; size < file.lastMessageEnd; ++size) {
    std::vector<std::uint8_t> cut(file.bytes.begin(), file.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    auto trace = RecordingReader::read(cut);
    ASSERT_TRUE(trace.cut) << size;
    EXPECT_EQ(trace.cut->offset, file.lastMessageStart) << size;
    EXPECT_EQ(recordsIn(trace), file.messages - 1) << size;
    // The last record was the end of the session: the report says so rather than inventing one.
    EXPECT_FALSE(trace.end);
    std::string printed = SessionSummary::describe(trace);
    EXPECT_NE(printed.find("cut short at byte " + std::to_string(file.lastMessageStart)), std::string::npos);
  }
  // Whole up to its last record but never closed: every message, and the missing summary said.
  auto unclosed = RecordingReader::read(file.bytes);
  ASSERT_TRUE(unclosed.cut);
  EXPECT_EQ(recordsIn(unclosed), file.messages);
  EXPECT_EQ(unclosed.cut->offset, file.bytes.size());
}

TEST(RecordingReader, DamageIsSaidAndWhatIsWholeIsStillRead) {
  auto story = SessionStory::typical();
  auto file = RecordingFile::write(story.trace);

  // The data section's CRC (the last 4 bytes of the data end record, just before the summary).
  auto damaged = file.bytes;
  std::size_t dataEnd = file.lastMessageEnd;
  ASSERT_EQ(damaged[dataEnd], 0x0F);
  damaged[dataEnd + 9] ^= 0xFF;
  auto trace = RecordingReader::read(damaged);
  ASSERT_TRUE(trace.cut);
  EXPECT_NE(trace.cut->why.find("CRC"), std::string::npos) << trace.cut->why;
  EXPECT_EQ(recordsIn(trace), file.messages);

  // Not an MCAP file at all.
  std::vector<std::uint8_t> garbage(100, 0x42);
  auto nothing = RecordingReader::read(garbage);
  ASSERT_TRUE(nothing.cut);
  EXPECT_EQ(nothing.cut->offset, 0u);
  EXPECT_EQ(recordsIn(nothing), 0u);

  // Whole records whose messages are not what their channel carries are skipped and named.
  std::vector<std::uint8_t> bytes;
  lumo::recorder::McapWriter writer([&](const std::uint8_t* data, std::size_t size) {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  });
  writer.open("", "test");
  auto control = writer.addChannel(writer.addSchema("lumo.ControlFrame", "jsonschema", "{}"), "/lumo/control", "json");
  auto future = writer.addChannel(writer.addSchema("lumo.Future", "jsonschema", "{}"), "/lumo/future", "json");
  writer.writeMessage(control, 10, 10, "not json");
  writer.writeMessage(control, 20, 20, R"({"seq":"two"})");
  writer.writeMessage(control, 30, 30, R"({"seq":3,"bytes":"00","enableCmd":true,"antiCollision":false,)"
                                       R"("throttle":5,"brake":0,"steering":-7})");
  writer.writeMessage(future, 40, 40, R"({"anything":1})");
  writer.close();
  auto read = RecordingReader::read(bytes);
  EXPECT_FALSE(read.cut);
  ASSERT_EQ(read.control.size(), 1u);
  EXPECT_EQ(read.control[0].steering, -7);
  ASSERT_EQ(read.skipped.size(), 2u);
  EXPECT_EQ(read.skipped[0], "message 1 on /lumo/control: not a JSON object");
  EXPECT_EQ(read.skipped[1], "message 2 on /lumo/control: fields missing or mistyped");
}

}  // namespace
}  // namespace report::test
