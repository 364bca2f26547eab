#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/Timer.h"
#include "platform/dispatch/TimerSource.h"
#include "tests/support/VirtualTimeTest.h"

namespace {

using namespace std::chrono_literals;
using platform::dispatch::DispatchQueue;
using platform::dispatch::MainLoop;
using platform::dispatch::QualityOfService;
using platform::dispatch::Scheduler;
using platform::dispatch::Semaphore;
using platform::dispatch::Timer;
using platform::dispatch::TimerSource;

class DispatchTest : public lumo::test::VirtualTimeTest {
 protected:
  double nowSeconds() const { return std::chrono::duration<double>(Scheduler::clock().now()).count(); }
};

TEST_F(DispatchTest, SerialQueueRunsBlocksOneAtATimeInOrder) {
  auto queue = DispatchQueue::makeSerial("test.serial");
  std::vector<int> order;
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < 2000; ++i) {
    queue->async([&, i] {
      if (running.fetch_add(1) != 0) overlapped = true;
      order.push_back(i);  // unsynchronised on purpose: TSan flags any overlap
      running.fetch_sub(1);
    });
  }
  std::atomic<bool> done{false};
  queue->async([&] { done = true; });
  ASSERT_TRUE(runUntil([&] { return done.load(); }));
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(order.size(), 2000u);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(order[i], i);
  EXPECT_EQ(Scheduler::clock().now().count(), 0) << "background work must not move virtual time";
}

TEST_F(DispatchTest, BarrierRunsAloneBetweenEarlierAndLaterBlocks) {
  auto queue = DispatchQueue::makeConcurrent("test.concurrent");
  std::atomic<int> readers{0};
  std::atomic<int> readsBefore{0};
  std::atomic<int> readsAfter{0};
  std::atomic<bool> barrierSawReader{false};
  std::atomic<int> readsSeenByBarrier{-1};
  std::atomic<bool> barrierDone{false};
  std::atomic<bool> laterReadBeforeBarrier{false};
  for (int i = 0; i < 50; ++i) {
    queue->async([&] {
      readers.fetch_add(1);
      std::this_thread::yield();
      readsBefore.fetch_add(1);
      readers.fetch_sub(1);
    });
  }
  queue->asyncBarrier([&] {
    if (readers.load() != 0) barrierSawReader = true;
    readsSeenByBarrier = readsBefore.load();
    barrierDone = true;
  });
  for (int i = 0; i < 50; ++i) {
    queue->async([&] {
      if (!barrierDone.load()) laterReadBeforeBarrier = true;
      readsAfter.fetch_add(1);
    });
  }
  ASSERT_TRUE(runUntil([&] { return readsAfter.load() == 50; }));
  EXPECT_FALSE(barrierSawReader);
  EXPECT_EQ(readsSeenByBarrier.load(), 50);
  EXPECT_FALSE(laterReadBeforeBarrier);

  // syncBarrier from the main thread returns only after the barrier ran.
  int value = 0;
  queue->syncBarrier([&] { value = 7; });
  EXPECT_EQ(value, 7);
}

TEST_F(DispatchTest, TimersFireOnTheVirtualClockInDueOrder) {
  std::vector<std::string> events;
  auto repeating = Timer::scheduled(0.150s, true, [&](Timer&) { events.push_back("tick@" + std::to_string(int(nowSeconds() * 1000))); });
  // Same due time: first created fires first.
  DispatchQueue::main()->asyncAfter(0.3s, [&] { events.push_back("a@300"); });
  DispatchQueue::main()->asyncAfter(0.3s, [&] { events.push_back("b@300"); });
  auto once = Timer::scheduled(0.2s, false, [&](Timer&) { events.push_back("once"); });

  runFor(0.45s);
  EXPECT_DOUBLE_EQ(nowSeconds(), 0.45);
  // At 300 ms the delayed blocks (created at 0) precede the repeat armed at 150 ms.
  std::vector<std::string> expected{"tick@150", "once", "a@300", "b@300", "tick@300", "tick@450"};
  EXPECT_EQ(events, expected);
  EXPECT_FALSE(once->isValid());

  repeating->invalidate();
  events.clear();
  runFor(1.0s);
  EXPECT_TRUE(events.empty());
  EXPECT_DOUBLE_EQ(nowSeconds(), 1.45);

  // A timer that invalidates itself from its own handler fires exactly once.
  int fires = 0;
  auto selfStopping = Timer::scheduled(0.1s, true, [&](Timer& timer) {
    ++fires;
    timer.invalidate();
  });
  runFor(1.0s);
  EXPECT_EQ(fires, 1);
}

TEST_F(DispatchTest, TimerSourceOnABackgroundQueueFiresAtItsDeadlineAndInterval) {
  auto queue = DispatchQueue::makeSerial("test.timer");
  std::mutex mutex;
  std::vector<double> fireTimes;
  auto source = TimerSource::make(queue);
  source->schedule(10.0s, 60.0s);
  source->setEventHandler([&] {
    std::lock_guard lock(mutex);
    fireTimes.push_back(nowSeconds());
  });
  source->resume();

  runFor(200.0s);  // a 60-second timer takes no real time
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(fireTimes, (std::vector<double>{10.0, 70.0, 130.0, 190.0}));
  }
  source->cancel();
  runFor(200.0s);
  std::lock_guard lock(mutex);
  EXPECT_EQ(fireTimes.size(), 4u);
}

TEST_F(DispatchTest, WaitsOnTheClockTakeExactVirtualTime) {
  auto queue = DispatchQueue::makeSerial("test.sleeper");
  std::atomic<bool> done{false};
  std::atomic<int> polls{0};
  double startedAt = nowSeconds();
  queue->async([&] {
    for (int i = 0; i < 30; ++i) {
      platform::dispatch::sleepFor(0.1s);
      polls.fetch_add(1);
    }
    done = true;
  });
  ASSERT_TRUE(runUntil([&] { return done.load(); }));
  EXPECT_EQ(polls.load(), 30);
  EXPECT_NEAR(nowSeconds() - startedAt, 3.0, 1e-9);

  // A semaphore time-out on a worker thread, and a signal that beats its time-out.
  Semaphore never;
  Semaphore soon;
  std::atomic<int> results{0};
  std::atomic<double> timedOutAt{0};
  queue->async([&] {
    if (!never.waitFor(2.5s)) timedOutAt = nowSeconds();
    if (soon.waitFor(10.0s)) results.fetch_add(1);
  });
  DispatchQueue::main()->asyncAfter(4.0s, [&] { soon.signal(); });
  ASSERT_TRUE(runUntil([&] { return results.load() == 1; }));
  EXPECT_NEAR(timedOutAt.load(), 5.5, 1e-9);
  EXPECT_NEAR(nowSeconds(), 7.0, 1e-9);

  // runUntil gives up at its limit with the clock exactly at the end.
  EXPECT_FALSE(runUntil([] { return false; }, 5.0s));
  EXPECT_NEAR(nowSeconds(), 12.0, 1e-9);

  // Background work may end, meeting the condition, just after the loop read it: the loop
  // reads it once more before it runs out the clock.
  auto work = std::make_unique<Scheduler::WorkToken>();
  bool met = false;
  EXPECT_TRUE(runUntil([&] {
    bool wasMet = met;
    work.reset();  // as if the work ended the moment this read returned
    met = true;
    return wasMet;
  }));
  EXPECT_NEAR(nowSeconds(), 12.0, 1e-9);
}

TEST_F(DispatchTest, TheMainThreadDrivesTimeWhileItWaits) {
  // A main-thread sync onto a queue whose block sleeps must not deadlock.
  auto queue = DispatchQueue::makeSerial("test.sync");
  int result = 0;
  queue->sync([&] {
    platform::dispatch::sleepFor(1.0s);
    result = 42;
  });
  EXPECT_EQ(result, 42);
  EXPECT_NEAR(nowSeconds(), 1.0, 1e-9);

  // The main thread sleeping: background timers still fire, main-queue blocks wait their turn.
  std::atomic<int> backgroundFires{0};
  bool mainRan = false;
  queue->asyncAfter(0.5s, [&] { backgroundFires.fetch_add(1); });
  DispatchQueue::main()->asyncAfter(0.5s, [&] { mainRan = true; });
  platform::dispatch::sleepFor(2.0s);
  EXPECT_EQ(backgroundFires.load(), 1);
  EXPECT_FALSE(mainRan);
  MainLoop::drain();
  EXPECT_TRUE(mainRan);

  // A worker blocks on the main queue with sync; the main loop serves it.
  std::atomic<bool> sawMain{false};
  std::atomic<bool> finished{false};
  queue->async([&] {
    DispatchQueue::main()->sync([&] { sawMain = MainLoop::isMainThread(); });
    finished = true;
  });
  ASSERT_TRUE(runUntil([&] { return finished.load(); }));
  EXPECT_TRUE(sawMain);
}

TEST_F(DispatchTest, SameScenarioGivesTheSameEventOrderEveryRun) {
  auto scenario = [this] {
    Scheduler::useVirtualClock();
    auto serial = DispatchQueue::makeSerial("test.det");
    auto log = std::make_shared<std::vector<std::string>>();
    auto mutex = std::make_shared<std::mutex>();
    auto record = [log, mutex](std::string what) {
      std::lock_guard lock(*mutex);
      log->push_back(what + "@" + std::to_string(Scheduler::clock().now().count()));
    };
    auto source = TimerSource::make(DispatchQueue::global(QualityOfService::userInteractive));
    source->schedule(0.15s, 0.15s);
    source->setEventHandler([record] { DispatchQueue::main()->async([record] { record("cmd"); }); });
    source->resume();
    auto timer = Timer::scheduled(0.1s, true, [record](Timer&) { record("state"); });
    serial->asyncAfter(0.25s, [record] {
      platform::dispatch::sleepFor(0.05s);
      record("slept");
    });
    runFor(1.0s);
    source->cancel();
    timer->invalidate();
    return *log;
  };
  auto first = scenario();
  auto second = scenario();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.size(), 6u + 10u + 1u);
}

}  // namespace

namespace lumo::test {
namespace {

// An object that cancels its own timer when it dies, as a page does.
struct CancelsItsTimer {
  std::shared_ptr<TimerSource> timer;
  ~CancelsItsTimer() { timer->cancel(); }
};

std::shared_ptr<CancelsItsTimer> ownerWithTimer() {
  auto timer = TimerSource::make(DispatchQueue::main());
  timer->schedule(1s, 1s);
  timer->setEventHandler([] {});
  timer->resume();
  auto owner = std::make_shared<CancelsItsTimer>();
  owner->timer = timer;
  return owner;
}

TEST_F(VirtualTimeTest, APendingBlockMayOwnWhatCancelsATimerWhenItIsDropped) {
  // Dropped when the clock is replaced: the owner dies and cancels its timer.
  auto owner = ownerWithTimer();
  std::weak_ptr<CancelsItsTimer> watch = owner;
  DispatchQueue::main()->asyncAfter(10s, [owner] {});
  owner.reset();
  Scheduler::useVirtualClock();
  EXPECT_TRUE(watch.expired());

  // Dropped after it ran.
  owner = ownerWithTimer();
  watch = owner;
  bool ran = false;
  DispatchQueue::main()->asyncAfter(1s, [owner, &ran] { ran = true; });
  owner.reset();
  runFor(2s);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(watch.expired());

  // Dropped when its timer is cancelled by another owner's destructor.
  owner = ownerWithTimer();
  watch = owner;
  auto outer = std::make_shared<CancelsItsTimer>();
  outer->timer = TimerSource::make(DispatchQueue::main());
  outer->timer->schedule(5s, 5s);
  outer->timer->setEventHandler([owner] {});
  outer->timer->resume();
  owner.reset();
  outer.reset();
  runFor(1s);
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace lumo::test
