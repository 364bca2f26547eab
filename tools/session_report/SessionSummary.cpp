#include "tools/session_report/SessionSummary.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace report {

namespace {

// The nearest-rank percentile of sorted values.
int percentile(const std::vector<int>& sorted, double fraction) {
  std::size_t rank = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
  return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

std::string seconds(Nanoseconds ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ns) / 1e9);
  return text;
}

std::string milliseconds(Nanoseconds ns) { return std::to_string((ns + 500'000) / 1'000'000) + " ms"; }

std::string utc(std::int64_t wallTimeMs) {
  std::time_t time = static_cast<std::time_t>(wallTimeMs / 1000);
  std::tm parts{};
  if (!gmtime_r(&time, &parts)) return "?";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

// Texts come from the file: control characters (C0, DEL, C1) are shown as escapes, so a
// damaged or hostile recording cannot drive the terminal or forge a line.
std::string printable(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    bool c1 = byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
              static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (byte >= 0x20 && byte != 0x7F && !c1) {
      out += text[i];
      continue;
    }
    unsigned code = c1 ? static_cast<unsigned char>(text[++i]) : byte;
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02x", code);
    out += escape;
  }
  return out;
}

void line(std::string& out, const char* name, const std::string& value) {
  char head[24];
  std::snprintf(head, sizeof head, "%-18s", name);
  out += head + printable(value) + "\n";
}

}  // namespace

SessionSummary SessionSummary::of(const SessionTrace& trace) {
  SessionSummary summary;
  Nanoseconds origin = trace.origin();
  summary.duration = trace.last() - origin;
  summary.framesSent = trace.control.size();
  summary.framesReceived = trace.states.size();
  std::vector<int> delays;
  for (const auto& state : trace.states) {
    if (!state.accepted) {
      ++summary.framesRefused;
      ++summary.refusals[state.refusal.empty() ? "unknown" : state.refusal];
      continue;
    }
    if (state.authority && !summary.timeToGrant) summary.timeToGrant = state.time - origin;
    if (state.delayMs) delays.push_back(*state.delayMs);
  }
  std::sort(delays.begin(), delays.end());
  summary.delaySamples = delays.size();
  if (!delays.empty()) {
    summary.delayMedianMs = percentile(delays, 0.5);
    summary.delayP99Ms = percentile(delays, 0.99);
    summary.delayMaxMs = delays.back();
  }
  for (std::size_t i = 1; i < trace.control.size(); ++i) {
    Nanoseconds length = trace.control[i].time - trace.control[i - 1].time;
    if (length > kGapThreshold) summary.gaps.push_back({trace.control[i - 1].time - origin, length});
  }
  for (const auto& input : trace.inputs) {
    if (input.event == "select") ++summary.selects;
    else if (input.event == "release") ++summary.releases;
    else if (input.event == "wheel") ++summary.wheelTurns;
  }
  return summary;
}

std::string SessionSummary::describe(const SessionTrace& trace) {
  SessionSummary s = of(trace);
  std::string out;
  if (trace.start) {
    const auto& start = *trace.start;
    line(out, "vehicle", start.vin + " (id " + std::to_string(start.vehicleId) + ", " + start.vehicleName +
                             ", Bluetooth " + start.bleName + ")");
    line(out, "started", utc(start.wallTimeMs) + ", SDK " + start.sdkVersion);
  } else {
    line(out, "vehicle", "unknown (no start record)");
  }
  line(out, "duration", seconds(s.duration));
  std::string sent = std::to_string(s.framesSent);
  if (!s.gaps.empty()) {
    auto longest = std::max_element(s.gaps.begin(), s.gaps.end(),
                                    [](const Gap& a, const Gap& b) { return a.length < b.length; });
    sent += ", " + std::to_string(s.gaps.size()) + " gap" + (s.gaps.size() == 1 ? "" : "s") +
            " over 300 ms (longest " + milliseconds(longest->length) + " after " + seconds(longest->at) + ")";
  } else {
    sent += ", no gap over 300 ms";
  }
  line(out, "frames sent", sent);
  std::string received = std::to_string(s.framesReceived) + ", refused " + std::to_string(s.framesRefused);
  if (!s.refusals.empty()) {
    std::string reasons;
    for (const auto& [reason, count] : s.refusals) {
      reasons += (reasons.empty() ? "" : ", ") + reason + " " + std::to_string(count);
    }
    received += " (" + reasons + ")";
  }
  line(out, "frames received", received);
  line(out, "time to grant", s.timeToGrant ? seconds(*s.timeToGrant) : "never granted");
  if (s.delaySamples > 0) {
    line(out, "delay", "median " + std::to_string(*s.delayMedianMs) + " ms, p99 " + std::to_string(*s.delayP99Ms) +
                           " ms, max " + std::to_string(*s.delayMaxMs) + " ms (" + std::to_string(s.delaySamples) +
                           " samples)");
  } else {
    line(out, "delay", "not measured");
  }
  line(out, "inputs", "select " + std::to_string(s.selects) + ", release " + std::to_string(s.releases) +
                          ", wheel " + std::to_string(s.wheelTurns));
  if (trace.end) {
    line(out, "end", trace.end->reason + (trace.end->text.empty() ? "" : ": " + trace.end->text) + " at " +
                         seconds(trace.end->time - trace.origin()));
  } else {
    line(out, "end", "not recorded");
  }
  if (trace.cut && trace.cut->offset == 0) {
    line(out, "file", "not readable as a recording: " + trace.cut->why);
  } else if (trace.cut) {
    line(out, "file", "cut short at byte " + std::to_string(trace.cut->offset) + ": " + trace.cut->why);
  } else {
    line(out, "file", "whole");
  }
  for (const auto& skipped : trace.skipped) line(out, "skipped", skipped);
  return out;
}

}  // namespace report
