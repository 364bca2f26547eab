#include "tests/report/RecordingFile.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>

#include "lumosdk/recorder/McapWriter.h"

namespace report::test {

using nlohmann::json;

RecordingFile RecordingFile::write(const SessionTrace& trace, bool close) {
  RecordingFile file;
  lumo::recorder::McapWriter writer([&](const std::uint8_t* data, std::size_t size) {
    file.bytes.insert(file.bytes.end(), data, data + size);
    return true;
  });
  writer.open("", "lumosdk test");
  auto channel = [&](const char* topic, const char* schema) {
    auto id = writer.addSchema(schema, "jsonschema", R"({"type":"object"})");
    return writer.addChannel(id, topic, "json");
  };
  auto session = channel("/lumo/session", "lumo.Session");
  auto control = channel("/lumo/control", "lumo.ControlFrame");
  auto state = channel("/lumo/state", "lumo.StateFrame");
  auto link = channel("/lumo/link", "lumo.Link");
  auto input = channel("/lumo/input", "lumo.Input");
  auto ui = channel("/lumo/ui", "lumo.Ui");

  struct Message {
    Nanoseconds time;
    std::uint16_t channel;
    json body;
  };
  std::vector<Message> messages;
  if (const auto& s = trace.start) {
    messages.push_back({s->time, session,
                        {{"event", "start"}, {"vin", s->vin}, {"vehicleId", s->vehicleId}, {"vehicleName", s->vehicleName},
                         {"bleName", s->bleName}, {"sdkVersion", s->sdkVersion}, {"wallTimeMs", s->wallTimeMs},
                         {"monotonicNs", s->time}}});
  }
  for (const auto& c : trace.control) {
    messages.push_back({c.time, control,
                        {{"seq", c.seq}, {"bytes", c.bytes}, {"enableCmd", c.enableCmd}, {"antiCollision", c.antiCollision},
                         {"throttle", c.throttle}, {"brake", c.brake}, {"steering", c.steering}}});
  }
  for (const auto& s : trace.states) {
    json body = {{"bytes", s.bytes},       {"accepted", s.accepted},   {"driveMode", s.driveMode},
                 {"authority", s.authority}, {"safety", s.safety}, {"delayMs", nullptr}};
    if (s.delayMs) body["delayMs"] = *s.delayMs;
    if (!s.accepted) body["refusal"] = s.refusal;
    messages.push_back({s.time, state, body});
  }
  for (const auto& l : trace.links) messages.push_back({l.time, link, {{"state", l.state}}});
  for (const auto& i : trace.inputs) {
    json body = {{"event", i.event}};
    if (i.event == "wheel") body["angle"] = i.angle;
    else body["pad"] = i.pad;
    messages.push_back({i.time, input, body});
  }
  for (const auto& u : trace.ui) {
    messages.push_back({u.time, ui, {{"kind", u.kind}, {"action", u.action}, {"text", u.text}}});
  }
  if (const auto& e = trace.end) {
    messages.push_back({e->time, session, {{"event", "end"}, {"reason", e->reason}, {"text", e->text}}});
  }
  std::stable_sort(messages.begin(), messages.end(), [](const Message& a, const Message& b) { return a.time < b.time; });
  for (const auto& m : messages) {
    file.lastMessageStart = writer.bytesWritten();
    auto time = static_cast<std::uint64_t>(m.time);
    writer.writeMessage(m.channel, time, time, m.body.dump());
    file.lastMessageEnd = writer.bytesWritten();
    ++file.messages;
  }
  if (close) writer.close();
  return file;
}

}  // namespace report::test
