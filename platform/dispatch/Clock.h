#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/PlatformExport.h"

namespace platform::dispatch {

// Durations are seconds as double at the API; any std::chrono duration converts implicitly.
using Seconds = std::chrono::duration<double>;
// A monotonic reading: time since the clock's own origin.
using MonoTime = std::chrono::nanoseconds;

// Where every timer, delayed block, timed wait and timestamp asks for the time.
class LUMO_PLATFORM_EXPORT Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic reading for timers; never goes back.
  virtual MonoTime now() const = 0;
  // Milliseconds since 1970-01-01 00:00 UTC, fractional part kept.
  virtual double wallMillis() const = 0;
  double wallSeconds() const { return wallMillis() / 1000.0; }
  virtual bool isVirtual() const = 0;
};

// Real time: steady_clock for timers, system_clock for timestamps.
class LUMO_PLATFORM_EXPORT SystemClock final : public Clock {
 public:
  MonoTime now() const override;
  double wallMillis() const override;
  bool isVirtual() const override { return false; }
  // The steady_clock instant of a reading, for sleeping to an absolute deadline.
  static std::chrono::steady_clock::time_point toSteady(MonoTime reading);
};

// Deterministic time for tests and headless tours. Only the scheduler moves it (see
// Scheduler.h); the wall reading is the start instant plus the monotonic reading.
class LUMO_PLATFORM_EXPORT VirtualClock final : public Clock {
 public:
  // 2026-01-01 00:00:00 UTC: fixed, so log timestamps and delays are exact in tests.
  static constexpr double kDefaultStartWallMillis = 1767225600000.0;

  explicit VirtualClock(double startWallMillis = kDefaultStartWallMillis);
  MonoTime now() const override;
  double wallMillis() const override;
  bool isVirtual() const override { return true; }

  // Moves time forward to `to` (never back). Called by the scheduler only.
  void advanceTo(MonoTime to);

 private:
  std::atomic<std::int64_t> nowNanos_{0};
  double startWallMillis_;
};

}  // namespace platform::dispatch
