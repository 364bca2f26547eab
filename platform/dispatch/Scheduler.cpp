#include "platform/dispatch/Scheduler.h"

#include <thread>

#include "platform/dispatch/TimeKeeper.h"

namespace platform::dispatch {

using detail::TimeKeeper;

VirtualClock& Scheduler::useVirtualClock(double startWallMillis) {
  return TimeKeeper::instance().useVirtualClock(startWallMillis);
}

const Clock& Scheduler::clock() { return TimeKeeper::instance().clock(); }

bool Scheduler::isVirtual() { return TimeKeeper::instance().isVirtual(); }

void Scheduler::setHangLimit(Seconds realSeconds) { TimeKeeper::instance().setHangLimit(realSeconds); }

std::optional<ThreadPriority> Scheduler::strictTimerPriority() { return TimeKeeper::instance().strictTimerPriority(); }

Scheduler::WorkToken::WorkToken() { TimeKeeper::instance().beginWork(); }

Scheduler::WorkToken::~WorkToken() { TimeKeeper::instance().endWork(); }

void sleepFor(Seconds duration) {
  if (duration <= Seconds{0}) return;
  auto& keeper = TimeKeeper::instance();
  if (!keeper.isVirtual()) {
    std::this_thread::sleep_for(duration);
    return;
  }
  auto waiter = std::make_shared<TimeKeeper::Waiter>();
  std::unique_lock lock(keeper.mutex());
  MonoTime due = keeper.clock().now() + detail::toMono(duration);
  keeper.scheduleLocked(due, [&keeper, waiter] {
    std::lock_guard inner(keeper.mutex());
    keeper.wakeLocked(*waiter);
  });
  keeper.block(lock, *waiter);
}

}  // namespace platform::dispatch
