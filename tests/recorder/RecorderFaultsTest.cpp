// The recorder never costs the session anything: switched off, with a full disk, an unusable
// sandbox or a writer that is stuck, the session runs as it would without it. And what it
// kept, the host finds in the list.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "lumosdk/LumoSessionRecordings.h"
#include "lumosdk/recorder/McapReader.h"
#include "lumosdk/recorder/RecordingsFolder.h"
#include "lumosdk/recorder/SessionFile.h"
#include "lumosdk/recorder/SessionRecorder.h"
#include "platform/dispatch/Semaphore.h"
#include "tests/control/ControlPageTest.h"
#include "tests/support/FileMode.h"

namespace {

using lumo::LumoSessionRecordings;
using lumo::recorder::RecordingsFolder;
using lumo::recorder::SessionFile;
using lumo::recorder::SessionRecorder;
using platform::dispatch::Seconds;

class RecorderFaultsTest : public lumo::test::ControlPageTest {
 protected:
  void TearDown() override {
    SessionFile::setWriteFunctionForTesting(nullptr);
    SessionRecorder::setEnabled(true);
    ControlPageTest::TearDown();
  }

  // Granted, two seconds forward, then the exit button; what the vehicle saw.
  struct Story {
    std::int64_t framesSent = 0;
    std::size_t framesAccepted = 0;
    bool ended = false;
  };
  Story driveAndExit() {
    Story story;
    auto page = openPage();
    if (!page || !runUntilInControl(page)) return story;
    page->onForwardSelect();
    runFor(Seconds(2));
    page->onForwardRelease();
    page->exitButtonTapped();
    story.ended = runUntil([&] { return presentedPage() == nullptr; });
    story.framesSent = page->rollCount();
    story.framesAccepted = frames.size();
    frames.clear();
    return story;
  }
  bool recordingsWritten() {
    return runUntil([] { return SessionRecorder::unfinishedCount() == 0; });
  }
  int recorderLines() {
    int n = 0;
    for (const auto& [level, line] : systemLogLines()) n += line.rfind("recorder:", 0) == 0 ? 1 : 0;
    return n;
  }
};

TEST_F(RecorderFaultsTest, SessionsAreListedNewestFirstAndACutOneSaysSo) {
  ASSERT_TRUE(driveAndExit().ended);
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  // While a session runs its recording is listed as such.
  auto listed = LumoSessionRecordings::list();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].endReason, "recording");
  vehicle->takeOverRemotely();
  ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }));
  ASSERT_TRUE(recordingsWritten());

  listed = LumoSessionRecordings::list();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].endReason, "takeover");
  EXPECT_EQ(listed[0].endText, "车辆已被他人接管");
  EXPECT_EQ(listed[1].endReason, "exit");
  EXPECT_GE(listed[0].startTimeMs, listed[1].startTimeMs);
  for (const auto& recording : listed) {
    EXPECT_EQ(recording.vin, sim::BackendSimulator::kDemoVin);
    EXPECT_EQ(recording.bleName, sim::BackendSimulator::kDemoBleName);
    EXPECT_EQ(recording.vehicleId, page->vehicleId());
    EXPECT_EQ(recording.vehicleName, page->vehicleName());
    EXPECT_EQ(lumo::test::modeOf(recording.filePath), 0600u);
  }
  EXPECT_EQ(lumo::test::modeOf(*RecordingsFolder::path()), 0700u);

  // The older one as a crash would have left it: its second half gone.
  const auto size = std::filesystem::file_size(listed[1].filePath);
  std::filesystem::resize_file(listed[1].filePath, size / 2);
  listed = LumoSessionRecordings::list();
  EXPECT_EQ(listed[1].endReason, "cut short");
  EXPECT_EQ(listed[1].vin, sim::BackendSimulator::kDemoVin);
}

TEST_F(RecorderFaultsTest, SwitchedOffNothingIsRecorded) {
  LumoSessionRecordings::setEnabled(false);
  EXPECT_FALSE(LumoSessionRecordings::isEnabled());
  const auto story = driveAndExit();
  ASSERT_TRUE(story.ended);
  EXPECT_GT(story.framesAccepted, 10u);
  EXPECT_TRUE(LumoSessionRecordings::list().empty());
}

TEST_F(RecorderFaultsTest, AFullDiskOrAnUnusableSandboxLeavesTheSessionAsItWas) {
  LumoSessionRecordings::setEnabled(false);
  const auto without = driveAndExit();
  ASSERT_TRUE(without.ended);
  LumoSessionRecordings::setEnabled(true);

  // The disk fills up after the first few records.
  std::size_t room = 4000;
  SessionFile::setWriteFunctionForTesting([&room](int fd, const void* data, std::size_t size) -> ssize_t {
    if (room == 0) {
      errno = ENOSPC;
      return -1;
    }
    const ssize_t n = ::write(fd, data, std::min(room, size));
    if (n > 0) room -= static_cast<std::size_t>(n);
    return n;
  });
  const auto full = driveAndExit();
  ASSERT_TRUE(recordingsWritten());
  EXPECT_TRUE(full.ended);
  EXPECT_EQ(full.framesSent, without.framesSent);
  EXPECT_EQ(full.framesAccepted, without.framesAccepted);
  EXPECT_EQ(recorderLines(), 1);
  // What reached the disk before it filled stays readable.
  const auto listed = LumoSessionRecordings::list();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].endReason, "cut short");
  EXPECT_EQ(listed[0].vin, sim::BackendSimulator::kDemoVin);
  SessionFile::setWriteFunctionForTesting(nullptr);

  // Something that is no private folder stands where the recordings go.
  std::filesystem::remove_all(*RecordingsFolder::path());
  std::ofstream(*RecordingsFolder::path()).put('x');
  clearRecordedLines();
  const auto refused = driveAndExit();
  ASSERT_TRUE(recordingsWritten());
  EXPECT_TRUE(refused.ended);
  EXPECT_EQ(refused.framesSent, without.framesSent);
  EXPECT_EQ(refused.framesAccepted, without.framesAccepted);
  EXPECT_EQ(recorderLines(), 1);
}

TEST_F(RecorderFaultsTest, AStuckWriterNeverHoldsUpTheSession) {
  // The disk hangs on the first write until the session is over.
  platform::dispatch::Semaphore disk(0);
  std::atomic<int> writes{0};
  SessionFile::setWriteFunctionForTesting([&](int fd, const void* data, std::size_t size) -> ssize_t {
    if (writes++ == 0) disk.wait();
    return ::write(fd, data, size);
  });
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  page->onForwardSelect();
  runFor(Seconds(3));
  EXPECT_EQ(writes.load(), 1) << "still stuck";
  EXPECT_GT(frames.size(), 15u);
  page->onForwardRelease();
  page->exitButtonTapped();
  ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }));
  const auto sent = page->rollCount();
  disk.signal();
  ASSERT_TRUE(recordingsWritten());
  // Nothing was lost while the writer waited.
  const auto listed = LumoSessionRecordings::list();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].endReason, "exit");
  const auto contents = lumo::recorder::McapReader::readFile(listed[0].filePath);
  EXPECT_TRUE(contents.complete);
  const auto* control = contents.channelByTopic("/lumo/control");
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(std::count_if(contents.messages.begin(), contents.messages.end(),
                          [&](const auto& m) { return m.channelId == control->id; }),
            sent);
}

}  // namespace
