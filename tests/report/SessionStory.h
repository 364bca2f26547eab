#pragma once

#include <string>
#include <vector>

#include "tools/session_report/SessionTrace.h"

namespace report::test {

// A session told record by record, as a recording of it would read: the link comes up,
// control is granted, the user drives, the vehicle lags and the page ends the session.
// It counts what it writes, so a test compares the report with what happened.
class SessionStory {
 public:
  static constexpr Nanoseconds kMs = 1'000'000;
  static constexpr Nanoseconds kOrigin = 5'000 * kMs;

  SessionTrace trace;
  std::size_t refused = 0;
  std::vector<int> delays;
  Nanoseconds grantedAt = 0;  // from the origin
  Nanoseconds now = kOrigin;

  SessionStory();
  void link(const std::string& state) { trace.links.push_back({now, state}); }
  // One 150 ms command tick: a frame sent, and the vehicle's answer `delay` ms later.
  void tick(int throttle, int brake, int steering, bool authority, int driveMode, int delay);
  void refusedAnswer(const std::string& why);
  void input(const std::string& event, const std::string& pad, double angle = 0) {
    trace.inputs.push_back({now, event, pad, angle});
  }
  void ui(const std::string& kind, const std::string& action, const std::string& text) {
    trace.ui.push_back({now, kind, action, text});
  }
  void pass(Nanoseconds time) { now += time; }
  void end(const std::string& reason, const std::string& text) { trace.end = SessionTrace::End{now, reason, text}; }

  // The whole story used by the tests: about 14 s, with a 450 ms stall of the frames sent.
  static SessionStory typical();

 private:
  std::int64_t seq_ = 0;
};

}  // namespace report::test
