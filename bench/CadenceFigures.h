#pragma once

// The cadence figures shared by the benches that drive the command loop in real time, and the
// bare reference loop they measure beside it.

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "lumosdk/pages/LumoControlPage.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/ThreadPriority.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline constexpr double kIntervalMs = lumo::LumoControlPage::COMMAND_INTERVAL_MS;

struct Figures {
  double medianMs = 0;
  double p99Ms = 0;
  double maxMs = 0;
  double driftMs = 0;       // last frame minus (first + n x 150 ms)
  double worstAtSeconds = 0;  // when the largest deviation came, from the first frame
  std::size_t frames = 0;
  std::size_t missed = 0;
};

inline std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

inline double percentileOf(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(share * static_cast<double>(values.size())))];
}

inline Figures summarise(const std::vector<Clock::time_point>& arrivals) {
  Figures figures;
  std::vector<double> deviations;
  for (std::size_t i = 1; i < arrivals.size(); ++i) {
    double interval = std::chrono::duration<double, std::milli>(arrivals[i] - arrivals[i - 1]).count();
    deviations.push_back(std::abs(interval - kIntervalMs));
    if (deviations.back() >= figures.maxMs) {
      figures.maxMs = deviations.back();
      figures.worstAtSeconds = std::chrono::duration<double>(arrivals[i] - arrivals.front()).count();
    }
    // An interval of two periods or more means a frame never came.
    if (interval >= 1.5 * kIntervalMs) figures.missed += static_cast<std::size_t>(interval / kIntervalMs + 0.5) - 1;
  }
  figures.frames = arrivals.size();
  if (deviations.empty()) return figures;
  auto periods = static_cast<double>(arrivals.size() - 1);
  figures.driftMs = std::chrono::duration<double, std::milli>(arrivals.back() - arrivals.front()).count() -
                    periods * kIntervalMs;
  std::sort(deviations.begin(), deviations.end());
  figures.medianMs = deviations[deviations.size() / 2];
  figures.p99Ms = deviations[std::min(deviations.size() - 1, deviations.size() * 99 / 100)];
  return figures;
}

// The reference: a thread at the strict timer thread's priority sleeping to absolute
// deadlines, noting when it wakes, until `stop`.
inline std::vector<Clock::time_point> bareLoop(const std::atomic<bool>& stop) {
  if (auto priority = platform::dispatch::Scheduler::strictTimerPriority()) {
    platform::dispatch::ThreadPriority::applyToCurrentThread(*priority);
  }
  std::vector<Clock::time_point> wakes;
  timespec next{};
  ::clock_gettime(CLOCK_MONOTONIC, &next);
  constexpr long kIntervalNanos = static_cast<long>(kIntervalMs * 1e6);
  while (!stop.load(std::memory_order_relaxed)) {
    next.tv_nsec += kIntervalNanos;
    while (next.tv_nsec >= 1000000000L) {
      next.tv_nsec -= 1000000000L;
      ++next.tv_sec;
    }
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) != 0) {
    }
    wakes.push_back(Clock::now());  // steady_clock reads CLOCK_MONOTONIC
  }
  return wakes;
}

}  // namespace bench
