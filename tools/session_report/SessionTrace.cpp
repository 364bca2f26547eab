#include "tools/session_report/SessionTrace.h"

#include <algorithm>
#include <limits>

namespace report {

namespace {

template <typename Records, typename Visit>
void eachTime(const Records& records, Visit visit) {
  for (const auto& record : records) visit(record.time);
}

template <typename Visit>
void allTimes(const SessionTrace& trace, Visit visit) {
  if (trace.start) visit(trace.start->time);
  eachTime(trace.control, visit);
  eachTime(trace.states, visit);
  eachTime(trace.links, visit);
  eachTime(trace.inputs, visit);
  eachTime(trace.ui, visit);
  if (trace.end) visit(trace.end->time);
}

}  // namespace

Nanoseconds SessionTrace::origin() const {
  if (start) return start->time;
  Nanoseconds earliest = std::numeric_limits<Nanoseconds>::max();
  allTimes(*this, [&](Nanoseconds t) { earliest = std::min(earliest, t); });
  return earliest == std::numeric_limits<Nanoseconds>::max() ? 0 : earliest;
}

Nanoseconds SessionTrace::last() const {
  Nanoseconds latest = origin();
  allTimes(*this, [&](Nanoseconds t) { latest = std::max(latest, t); });
  return latest;
}

}  // namespace report
