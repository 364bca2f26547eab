#include "platform/dispatch/Clock.h"

namespace platform::dispatch {
namespace {
const std::chrono::steady_clock::time_point kProcessOrigin = std::chrono::steady_clock::now();
}

MonoTime SystemClock::now() const {
  return std::chrono::duration_cast<MonoTime>(std::chrono::steady_clock::now() - kProcessOrigin);
}

std::chrono::steady_clock::time_point SystemClock::toSteady(MonoTime reading) {
  return kProcessOrigin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(reading);
}

double SystemClock::wallMillis() const {
  auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration<double, std::milli>(sinceEpoch).count();
}

VirtualClock::VirtualClock(double startWallMillis) : startWallMillis_(startWallMillis) {}

MonoTime VirtualClock::now() const { return MonoTime(nowNanos_.load(std::memory_order_acquire)); }

double VirtualClock::wallMillis() const {
  return startWallMillis_ + static_cast<double>(nowNanos_.load(std::memory_order_acquire)) / 1e6;
}

void VirtualClock::advanceTo(MonoTime to) {
  std::int64_t target = to.count();
  std::int64_t current = nowNanos_.load(std::memory_order_relaxed);
  if (target > current) nowNanos_.store(target, std::memory_order_release);
}

}  // namespace platform::dispatch
