#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/Timer.h"
#include "platform/dispatch/TimerSource.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;
using platform::dispatch::DispatchQueue;
using platform::dispatch::MainLoop;
using platform::dispatch::MonoTime;
using platform::dispatch::Scheduler;
using platform::dispatch::Timer;
using platform::dispatch::TimerSource;

double nowSeconds() { return std::chrono::duration<double>(Scheduler::clock().now()).count(); }

std::shared_ptr<TimerSource> strictTicks(std::vector<double>& at, platform::dispatch::Seconds interval) {
  auto source = TimerSource::make(DispatchQueue::main(), TimerSource::Flags::strict);
  source->schedule(interval, interval);
  source->setEventHandler([&at] { at.push_back(nowSeconds()); });
  source->resume();
  return source;
}

class StrictTimerTest : public VirtualTimeTest {};

TEST_F(StrictTimerTest, ATickThatFellDueWhileTheMainThreadWasBusyRunsBeforeTheWorkQueuedMeanwhile) {
  std::vector<std::string> order;
  auto source = TimerSource::make(DispatchQueue::main(), TimerSource::Flags::strict);
  source->schedule(0.15s, 0.15s);
  source->setEventHandler([&] { order.push_back("tick"); });
  source->resume();
  // Two ordinary timers fall due before the tick while the main thread is held.
  auto first = Timer::scheduled(0.11s, false, [&](Timer&) { order.push_back("first"); });
  auto second = Timer::scheduled(0.12s, false, [&](Timer&) { order.push_back("second"); });
  DispatchQueue::main()->asyncAfter(0.1s, [&] {
    platform::dispatch::sleepFor(0.08s);  // a long frame on the main thread
    order.push_back("held");
  });
  runFor(0.2s);
  EXPECT_EQ(order, (std::vector<std::string>{"held", "tick", "first", "second"}));
  EXPECT_FALSE(MainLoop::nextStrictTimerDue() == std::nullopt);
  EXPECT_EQ(*MainLoop::nextStrictTimerDue(), MonoTime(300ms));
  source->cancel();
  EXPECT_EQ(MainLoop::nextStrictTimerDue(), std::nullopt);
}

TEST_F(StrictTimerTest, OneLateWakeUpDoesNotShiftTheTicksAfterIt) {
  auto& clock = Scheduler::useVirtualClock();
  std::vector<double> ticks;
  auto source = strictTicks(ticks, 0.15s);
  runFor(0.2s);
  ASSERT_EQ(ticks.size(), 1u);
  // The firing thread wakes 60 ms late for the tick due at 0.30 s.
  clock.advanceTo(MonoTime(360ms));
  runFor(0.5s);
  ASSERT_GE(ticks.size(), 5u);
  EXPECT_DOUBLE_EQ(ticks[1], 0.36);
  // The rest keep to start + n x 150 ms, not to the late tick + 150 ms.
  EXPECT_NEAR(ticks[2], 0.45, 1e-9);
  EXPECT_NEAR(ticks[3], 0.60, 1e-9);
  EXPECT_NEAR(ticks[4], 0.75, 1e-9);
  source->cancel();
}

TEST_F(StrictTimerTest, StrictAndOrdinaryEntriesDueTogetherFireInCreationOrder) {
  std::vector<std::string> order;
  auto ordinary = Timer::scheduled(0.15s, true, [&](Timer&) { order.push_back("ordinary"); });
  auto source = TimerSource::make(DispatchQueue::main(), TimerSource::Flags::strict);
  source->schedule(0.15s, 0.15s);
  source->setEventHandler([&] { order.push_back("strict"); });
  source->resume();
  runFor(0.3s);
  EXPECT_EQ(order, (std::vector<std::string>{"ordinary", "strict", "ordinary", "strict"}));
  ordinary->invalidate();
  source->cancel();
}

class StrictTimerRealTimeTest : public VirtualTimeTest {
 protected:
  StrictTimerRealTimeTest() : VirtualTimeTest(false) {}
};

TEST_F(StrictTimerRealTimeTest, TheStrictThreadFiresOnTheMainQueueAndSaysWhenItCouldNotBeRaised) {
  // The clock cannot be switched back to real time in a process that already went virtual.
  if (Scheduler::isVirtual()) GTEST_SKIP() << "needs a process of its own (ctest runs each test alone)";
  std::vector<double> ticks;
  bool offMain = false;
  auto source = TimerSource::make(DispatchQueue::main(), TimerSource::Flags::strict);
  source->schedule(0.02s, 0.02s);
  source->setEventHandler([&] {
    offMain = offMain || !MainLoop::isMainThread();
    ticks.push_back(nowSeconds());
  });
  source->resume();
  ASSERT_TRUE(runUntil([&] { return ticks.size() >= 3; }, 10s));
  source->cancel();
  EXPECT_FALSE(offMain);
  auto priority = Scheduler::strictTimerPriority();
  ASSERT_TRUE(priority.has_value());
  bool said = systemLogHas("platform::dispatch: no real-time priority for the strict timer thread; it runs at " +
                           priority->describe());
  EXPECT_EQ(said, priority->kind != platform::dispatch::ThreadPriority::Kind::realTime);
}

TEST_F(StrictTimerRealTimeTest, WhatATickPostsRunsAheadOfWorkWaitingSinceBeforeIt) {
  if (Scheduler::isVirtual()) GTEST_SKIP() << "needs a process of its own (ctest runs each test alone)";
  using platform::dispatch::ThreadPriority;
  ThreadPriority own = ThreadPriority::of(ThreadPriority::Thread::current());
  std::vector<std::string> order;
  ThreadPriority inTick;
  auto source = TimerSource::make(DispatchQueue::main(), TimerSource::Flags::strict);
  source->schedule(0.02s, 0.02s);
  source->setEventHandler([&] {
    order.push_back("tick");
    inTick = ThreadPriority::of(ThreadPriority::Thread::current());
    source->cancel();
    // As a write hands its frame to the radio.
    DispatchQueue::main()->async([&] { order.push_back("sent"); });
  });
  source->resume();
  DispatchQueue::main()->async([&] {
    // The main thread is held past the tick's moment, and ordinary work is queued meanwhile.
    auto due = MainLoop::nextStrictTimerDue();
    ASSERT_TRUE(due.has_value());
    while (Scheduler::clock().now() < *due) std::this_thread::yield();
    DispatchQueue::main()->async([&] { order.push_back("waiting"); });
  });
  ASSERT_TRUE(runUntil([&] { return order.size() >= 3; }, 10s));
  EXPECT_EQ(order, (std::vector<std::string>{"tick", "sent", "waiting"}));
  // Whichever thread took the tick, it runs at the strict thread's priority, not at the one
  // the main thread dropped to for the ordinary block.
  auto strict = Scheduler::strictTimerPriority();
  ASSERT_TRUE(strict.has_value());
  EXPECT_EQ(inTick.kind, strict->kind);
  EXPECT_EQ(inTick.value, strict->value);
  // Raised while a tick was armed, the main thread is back at its own priority once idle.
  runFor(0.05s);
  ThreadPriority after = ThreadPriority::of(ThreadPriority::Thread::current());
  EXPECT_EQ(after.kind, own.kind);
  EXPECT_EQ(after.value, own.value);
}

}  // namespace
}  // namespace lumo::test
