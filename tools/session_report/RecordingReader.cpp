#include "tools/session_report/RecordingReader.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "lumosdk/recorder/McapReader.h"

namespace report {

using nlohmann::json;

namespace {

std::optional<std::string> text(const json& o, const char* key) {
  auto it = o.find(key);
  if (it == o.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

std::optional<std::int64_t> integer(const json& o, const char* key) {
  auto it = o.find(key);
  if (it == o.end() || !it->is_number_integer()) return std::nullopt;
  if (it->is_number_unsigned() && it->get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
    return std::nullopt;
  }
  return it->get<std::int64_t>();
}

std::optional<int> small(const json& o, const char* key) {
  auto value = integer(o, key);
  if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(*value);
}

std::optional<bool> flag(const json& o, const char* key) {
  auto it = o.find(key);
  if (it == o.end() || !it->is_boolean()) return std::nullopt;
  return it->get<bool>();
}

Nanoseconds timeOf(const lumo::recorder::McapMessageInfo& message) {
  constexpr auto kLatest = static_cast<std::uint64_t>(std::numeric_limits<Nanoseconds>::max());
  return static_cast<Nanoseconds>(std::min(message.logTime, kLatest));
}

// One message into the trace; false when its fields are not what its channel carries.
bool take(SessionTrace& trace, const std::string& topic, const json& o, Nanoseconds time) {
  if (topic == "/lumo/control") {
    auto seq = integer(o, "seq");
    auto bytes = text(o, "bytes");
    auto enable = flag(o, "enableCmd");
    auto anti = flag(o, "antiCollision");
    auto throttle = small(o, "throttle"), brake = small(o, "brake"), steering = small(o, "steering");
    if (!seq || !bytes || !enable || !anti || !throttle || !brake || !steering) return false;
    trace.control.push_back({time, *seq, *bytes, *enable, *anti, *throttle, *brake, *steering});
    return true;
  }
  if (topic == "/lumo/state") {
    SessionTrace::StateFrame state;
    auto bytes = text(o, "bytes");
    auto accepted = flag(o, "accepted");
    auto mode = small(o, "driveMode");
    auto authority = flag(o, "authority");
    auto safety = text(o, "safety");
    if (!bytes || !accepted || !mode || !authority || !safety) return false;
    state = {time, *bytes, *accepted, text(o, "refusal").value_or(""), *mode, *authority, *safety, small(o, "delayMs")};
    trace.states.push_back(std::move(state));
    return true;
  }
  if (topic == "/lumo/link") {
    auto state = text(o, "state");
    if (!state) return false;
    trace.links.push_back({time, *state});
    return true;
  }
  if (topic == "/lumo/input") {
    auto event = text(o, "event");
    if (!event) return false;
    double angle = 0;
    if (auto it = o.find("angle"); it != o.end() && it->is_number()) angle = it->get<double>();
    trace.inputs.push_back({time, *event, text(o, "pad").value_or(""), angle});
    return true;
  }
  if (topic == "/lumo/ui") {
    auto kind = text(o, "kind"), action = text(o, "action");
    if (!kind || !action) return false;
    trace.ui.push_back({time, *kind, *action, text(o, "text").value_or("")});
    return true;
  }
  if (topic == "/lumo/session") {
    auto event = text(o, "event");
    if (event == "start") {
      auto vin = text(o, "vin");
      if (!vin) return false;
      std::int64_t wall = integer(o, "wallTimeMs").value_or(0);
      if (auto it = o.find("wallTimeMs"); it != o.end() && it->is_number_float()) {
        wall = static_cast<std::int64_t>(it->get<double>());
      }
      trace.start = SessionTrace::Start{time,           *vin, integer(o, "vehicleId").value_or(0),
                                        text(o, "vehicleName").value_or(""), text(o, "bleName").value_or(""),
                                        text(o, "sdkVersion").value_or(""), wall};
      return true;
    }
    if (event == "end") {
      auto reason = text(o, "reason");
      if (!reason) return false;
      trace.end = SessionTrace::End{time, *reason, text(o, "text").value_or("")};
      return true;
    }
    return false;
  }
  // A channel this reader does not know: newer recorders may add some.
  return true;
}

}  // namespace

SessionTrace RecordingReader::read(const lumo::recorder::McapContents& contents) {
  SessionTrace trace;
  for (const auto& message : contents.messages) {
    const auto* channel = contents.channel(message.channelId);
    std::string where = "message " + std::to_string(message.sequence);
    if (!channel) {
      trace.skipped.push_back(where + " on unknown channel " + std::to_string(message.channelId));
      continue;
    }
    where += " on " + channel->topic;
    json o = json::parse(message.data, nullptr, false);
    if (!o.is_object()) {
      trace.skipped.push_back(where + ": not a JSON object");
      continue;
    }
    if (!take(trace, channel->topic, o, timeOf(message))) trace.skipped.push_back(where + ": fields missing or mistyped");
  }
  if (contents.problem) {
    trace.cut = SessionTrace::Cut{contents.problem->offset, contents.problem->reason};
  }
  return trace;
}

SessionTrace RecordingReader::read(std::span<const std::uint8_t> bytes) {
  return read(lumo::recorder::McapReader::read(bytes));
}

SessionTrace RecordingReader::readFile(const std::filesystem::path& file) {
  return read(lumo::recorder::McapReader::readFile(file, kMaxFileBytes));
}

}  // namespace report
