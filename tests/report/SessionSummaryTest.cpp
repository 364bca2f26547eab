#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/report/SessionStory.h"
#include "tools/session_report/SessionSummary.h"

namespace report::test {
namespace {

// `value` is the nearest-rank `fraction` percentile of `samples`: at least that share of
// the samples lie at or below it, and fewer below it.
void expectPercentile(const std::vector<int>& samples, double fraction, int value) {
  auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
  auto atOrBelow = std::count_if(samples.begin(), samples.end(), [&](int s) { return s <= value; });
  auto below = std::count_if(samples.begin(), samples.end(), [&](int s) { return s < value; });
  EXPECT_GE(static_cast<std::size_t>(atOrBelow), rank) << fraction;
  EXPECT_LT(static_cast<std::size_t>(below), rank) << fraction;
}

TEST(SessionSummary, FiguresOfASessionMatchWhatHappened) {
  auto story = SessionStory::typical();
  auto summary = SessionSummary::of(story.trace);

  EXPECT_EQ(summary.framesSent, story.trace.control.size());
  EXPECT_EQ(summary.framesReceived, story.trace.states.size());
  EXPECT_EQ(summary.framesRefused, story.refused);
  EXPECT_EQ(summary.refusals.at("checksum"), 1u);
  EXPECT_EQ(summary.refusals.at("repeat"), 1u);
  ASSERT_TRUE(summary.timeToGrant);
  EXPECT_EQ(*summary.timeToGrant, story.grantedAt);

  // Refused frames carry no delay; every accepted one does.
  EXPECT_EQ(summary.delaySamples, story.delays.size());
  ASSERT_TRUE(summary.delayMedianMs && summary.delayP99Ms && summary.delayMaxMs);
  expectPercentile(story.delays, 0.5, *summary.delayMedianMs);
  expectPercentile(story.delays, 0.99, *summary.delayP99Ms);
  EXPECT_EQ(*summary.delayMaxMs, *std::max_element(story.delays.begin(), story.delays.end()));

  // The one stall of the command stream, and nothing at the regular 150 ms.
  ASSERT_EQ(summary.gaps.size(), 1u);
  EXPECT_EQ(summary.gaps[0].length, 450 * SessionStory::kMs);
  EXPECT_EQ(summary.gaps[0].at, story.trace.control[39].time - SessionStory::kOrigin);

  EXPECT_EQ(summary.selects, 1u);
  EXPECT_EQ(summary.releases, 1u);
  EXPECT_EQ(summary.wheelTurns, 1u);
  EXPECT_EQ(summary.duration, story.now - SessionStory::kOrigin);
}

TEST(SessionSummary, EdgesOfTheFigures) {
  // A session that never got an answer: no grant, no delay, no gap from a single frame.
  SessionStory story;
  story.trace.control.push_back({SessionStory::kOrigin + 10, 1, "", true, false, 0, 0, 0});
  auto summary = SessionSummary::of(story.trace);
  EXPECT_FALSE(summary.timeToGrant);
  EXPECT_FALSE(summary.delayMedianMs);
  EXPECT_TRUE(summary.gaps.empty());

  // Exactly 300 ms apart is the threshold, not over it.
  story.trace.control.push_back({SessionStory::kOrigin + 10 + SessionSummary::kGapThreshold, 2, "", true, false, 0, 0, 0});
  EXPECT_TRUE(SessionSummary::of(story.trace).gaps.empty());
  story.trace.control.push_back({SessionStory::kOrigin + 11 + 2 * SessionSummary::kGapThreshold, 3, "", true, false, 0, 0, 0});
  EXPECT_EQ(SessionSummary::of(story.trace).gaps.size(), 1u);

  // Without a start record the earliest record is the zero.
  story.trace.start.reset();
  EXPECT_EQ(story.trace.origin(), SessionStory::kOrigin + 10);
  EXPECT_EQ(SessionTrace{}.origin(), 0);
}

TEST(SessionSummary, PrintedReportSaysWhatWasCutAndEscapesTheFilesTexts) {
  auto story = SessionStory::typical();
  std::string whole = SessionSummary::describe(story.trace);
  EXPECT_NE(whole.find("file              whole"), std::string::npos) << whole;
  EXPECT_NE(whole.find("您的蓝牙延迟过大"), std::string::npos);
  EXPECT_NE(whole.find("1 gap over 300 ms (longest 450 ms"), std::string::npos) << whole;

  story.trace.end.reset();
  story.trace.cut = SessionTrace::Cut{4242, "the last record ends past the end of the file"};
  story.trace.start->vehicleName = "evil\x1b[2J\nfake line\xc2\x9b";
  std::string cut = SessionSummary::describe(story.trace);
  EXPECT_NE(cut.find("cut short at byte 4242: the last record ends past"), std::string::npos) << cut;
  EXPECT_NE(cut.find("end               not recorded"), std::string::npos) << cut;
  EXPECT_EQ(cut.find('\x1b'), std::string::npos);
  EXPECT_EQ(cut.find("\nfake line"), std::string::npos);
  EXPECT_EQ(cut.find("\xc2\x9b"), std::string::npos);
  EXPECT_NE(cut.find("evil\\x1b[2J\\x0afake line\\x9b"), std::string::npos) << cut;
}

}  // namespace
}  // namespace report::test
