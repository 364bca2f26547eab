#include "lumosdk/LumoSessionRecordings.h"

#include <nlohmann/json.hpp>

#include "lumosdk/recorder/McapReader.h"
#include "lumosdk/recorder/RecordingsFolder.h"
#include "lumosdk/recorder/SessionRecorder.h"

namespace lumo {

using recorder::RecordingsFolder;

namespace {

template <typename T>
T field(const nlohmann::json& object, const char* key, T fallback) {
  auto it = object.find(key);
  if (it == object.end()) return fallback;
  if constexpr (std::is_same_v<T, std::string>) {
    return it->is_string() ? it->get<std::string>() : fallback;
  } else {
    return it->is_number_integer() ? it->get<T>() : fallback;
  }
}

LumoSessionRecording describe(const std::filesystem::path& file) {
  LumoSessionRecording recording;
  recording.filePath = file.string();
  recording.endReason = RecordingsFolder::isWriting(file) ? "recording" : "cut short";
  // Bounded like the folder: a file beyond it is not one of ours.
  const auto contents = recorder::McapReader::readFile(file, RecordingsFolder::kMaxBytes + (1 << 20));
  const auto* session = contents.channelByTopic("/lumo/session");
  if (!session) return recording;
  for (const auto& message : contents.messages) {
    if (message.channelId != session->id) continue;
    auto data = nlohmann::json::parse(message.data, nullptr, false);
    if (!data.is_object()) continue;
    const auto event = field<std::string>(data, "event", "");
    if (event == "start") {
      recording.startTimeMs = field<std::int64_t>(data, "wallTimeMs", 0);
      recording.vin = field<std::string>(data, "vin", "");
      recording.vehicleId = field<std::int64_t>(data, "vehicleId", 0);
      recording.vehicleName = field<std::string>(data, "vehicleName", "");
      recording.bleName = field<std::string>(data, "bleName", "");
    } else if (event == "end") {
      recording.endReason = field<std::string>(data, "reason", "");
      recording.endText = field<std::string>(data, "text", "");
    }
  }
  return recording;
}

}  // namespace

std::vector<LumoSessionRecording> LumoSessionRecordings::list() {
  std::vector<LumoSessionRecording> recordings;
  for (const auto& file : RecordingsFolder::files()) recordings.push_back(describe(file));
  return recordings;
}

void LumoSessionRecordings::setEnabled(bool enabled) { recorder::SessionRecorder::setEnabled(enabled); }

bool LumoSessionRecordings::isEnabled() { return recorder::SessionRecorder::isEnabled(); }

}  // namespace lumo
