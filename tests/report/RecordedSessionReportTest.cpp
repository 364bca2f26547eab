// The report of a session the SDK itself recorded: its figures against what the vehicle
// took in and sent while the test drove it.
#include <gtest/gtest.h>

#include "lumosdk/recorder/RecordingsFolder.h"
#include "lumosdk/recorder/SessionRecorder.h"
#include "platform/dispatch/Scheduler.h"
#include "tests/control/ControlPageTest.h"
#include "tests/support/Screenshots.h"
#include "tools/session_report/RecordingReader.h"
#include "tools/session_report/SessionSummary.h"
#include "tools/session_report/TimelinePicture.h"

namespace report::test {
namespace {

using lumo::recorder::RecordingsFolder;
using lumo::recorder::SessionRecorder;
using platform::dispatch::Seconds;

Nanoseconds nowNs() { return platform::dispatch::Scheduler::clock().now().count(); }

class RecordedSessionReportTest : public lumo::test::ControlPageTest {
 protected:
  void SetUp() override {
    ControlPageTest::SetUp();
    vehicle->peripheral()->setNotifyTap([this](const platform::ble::Uuid&, const platform::Bytes& value) {
      Nanoseconds at = nowNs();
      ++stateFramesSent;
      if (!firstAuthorityAt && value.size() > 1 && (value[1] & 1) != 0) firstAuthorityAt = at;
    });
  }
  std::size_t stateFramesSent = 0;
  std::optional<Nanoseconds> firstAuthorityAt;
};

TEST_F(RecordedSessionReportTest, TheFiguresOfADrivenSessionMatchWhatTheVehicleSaw) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  driveThenTakeOver(page);
  std::size_t sentAtFinish = 0;
  ASSERT_TRUE(runUntil([&] {
    sentAtFinish = stateFramesSent;
    return page->isFinished();
  }));
  ASSERT_TRUE(runUntil([] { return SessionRecorder::unfinishedCount() == 0; }));

  auto files = RecordingsFolder::files();
  ASSERT_EQ(files.size(), 1u);
  auto trace = RecordingReader::readFile(files[0]);
  EXPECT_FALSE(trace.cut) << trace.cut->why;
  EXPECT_TRUE(trace.skipped.empty()) << trace.skipped.front();
  auto summary = SessionSummary::of(trace);

  EXPECT_EQ(summary.framesSent, static_cast<std::size_t>(page->rollCount()));
  EXPECT_EQ(summary.framesReceived, sentAtFinish);
  EXPECT_EQ(summary.framesRefused, 0u);
  // The command stream never stalled: a frame every 150 ms.
  EXPECT_TRUE(summary.gaps.empty());
  ASSERT_TRUE(summary.timeToGrant && firstAuthorityAt);
  // The grant is seen when the vehicle's frame arrives, a link's latency after it was sent.
  Nanoseconds sentAfterStart = *firstAuthorityAt - trace.origin();
  EXPECT_GE(*summary.timeToGrant, sentAfterStart);
  EXPECT_LT(*summary.timeToGrant, sentAfterStart + 100'000'000);
  EXPECT_EQ(summary.selects, 2u);
  EXPECT_EQ(summary.releases, 2u);
  ASSERT_TRUE(summary.delayMaxMs);
  EXPECT_LT(*summary.delayMaxMs, 500);
  ASSERT_TRUE(trace.end);
  EXPECT_EQ(trace.end->reason, "takeover");
  ASSERT_TRUE(trace.start);
  EXPECT_EQ(trace.start->vin, sim::BackendSimulator::kDemoVin);

  std::string printed = SessionSummary::describe(trace);
  EXPECT_NE(printed.find("frames sent       " + std::to_string(page->rollCount()) + ", no gap over 300 ms"),
            std::string::npos) << printed;
  EXPECT_NE(printed.find("end               takeover: 车辆已被他人接管"), std::string::npos) << printed;
  auto picture = TimelinePicture::render(trace);
  EXPECT_EQ(picture.width(), static_cast<int>(TimelinePicture::kDefaultWidth));
  lumo::test::keepScreenshot(picture, sandboxDir(), "session-report-recorded");
}

}  // namespace
}  // namespace report::test
