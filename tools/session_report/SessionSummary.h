#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/session_report/SessionTrace.h"

namespace report {

// The figures an operator reads first about a session, computed from its trace.
struct SessionSummary {
  // Frames sent more than this apart stalled the vehicle's command stream (it sends every 150 ms).
  static constexpr Nanoseconds kGapThreshold = 300'000'000;

  struct Gap {
    Nanoseconds at = 0;      // the frame before the gap, from the session's origin
    Nanoseconds length = 0;
  };

  Nanoseconds duration = 0;  // origin to the last record
  std::size_t framesSent = 0;
  std::size_t framesReceived = 0;
  std::size_t framesRefused = 0;
  std::map<std::string, std::size_t> refusals;  // by reason
  std::optional<Nanoseconds> timeToGrant;       // origin to the first state frame with authority
  std::size_t delaySamples = 0;
  std::optional<int> delayMedianMs;
  std::optional<int> delayP99Ms;
  std::optional<int> delayMaxMs;
  std::vector<Gap> gaps;
  std::size_t selects = 0;
  std::size_t releases = 0;
  std::size_t wheelTurns = 0;

  static SessionSummary of(const SessionTrace& trace);
  // The printed report: one figure a line, then whether the file was whole.
  static std::string describe(const SessionTrace& trace);
};

}  // namespace report
