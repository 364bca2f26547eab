#include <cmath>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/TimerSource.h"
#include "platform/ui/DisplayLink.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;
using platform::dispatch::DispatchQueue;
using platform::dispatch::TimerSource;
using platform::ui::DisplayLink;
using platform::ui::mediaTime;

class FrameCadenceTest : public VirtualTimeTest {};

// Frames that take 10 ms of clock time to draw, started 4 ms before every 150 ms tick would
// hold each tick until the frame is done.
TEST_F(FrameCadenceTest, AFrameDoesNotStartWhenTheCommandTickFallsDueWithinItsDrawTime) {
  std::vector<double> ticks;
  auto source = TimerSource::make(DispatchQueue::main(), TimerSource::Flags::strict);
  source->schedule(0.15s, 0.15s);
  source->setEventHandler([&] { ticks.push_back(mediaTime()); });
  source->resume();

  std::vector<double> frames;
  auto link = DisplayLink::make([&](DisplayLink&) {
    frames.push_back(mediaTime());
    platform::dispatch::sleepFor(10ms);
  });
  runFor(std::chrono::duration<double>(1.0 / 60 - 0.004));
  link->add();
  runFor(1.5s);

  ASSERT_GE(ticks.size(), 10u);
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_NEAR(ticks[i], 0.15 * static_cast<double>(i + 1), 1e-9) << "tick " << i;
  }
  // The frames that waited ran right after their tick, and none was lost: about 60 a second.
  EXPECT_GE(frames.size(), 85u);
  for (double tick : ticks) {
    bool overlapped = false;
    for (double frame : frames) overlapped = overlapped || (frame < tick && frame + 0.010 > tick);
    EXPECT_FALSE(overlapped) << "a frame was drawing when the tick at " << tick << " fell due";
  }
  EXPECT_NEAR(link->typicalFrameTime(), 0.010, 1e-9);
  link->invalidate();
  source->cancel();
}

// Frames that take no clock time (every virtual-time suite) are never held back by a tick.
TEST_F(FrameCadenceTest, FramesThatTakeNoTimeRunOnTheirOwnTimestamps) {
  std::vector<double> lateness;
  auto link = DisplayLink::make([&](DisplayLink& l) { lateness.push_back(mediaTime() - l.timestamp()); });
  auto source = TimerSource::make(DispatchQueue::main(), TimerSource::Flags::strict);
  source->schedule(0.15s, 0.15s);
  source->setEventHandler([] {});
  source->resume();
  link->add();
  runFor(1.0s);
  ASSERT_EQ(lateness.size(), 60u);
  for (double late : lateness) EXPECT_NEAR(late, 0.0, 1e-6);
  EXPECT_EQ(link->typicalFrameTime(), 0.0);
  link->invalidate();
  source->cancel();
}

}  // namespace
}  // namespace lumo::test
