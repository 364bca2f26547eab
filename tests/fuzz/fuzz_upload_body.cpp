// The log upload as it leaves the phone: whatever text the stored records hold, the request
// body parses as JSON, is valid UTF-8, carries every record in order (its text unchanged when
// it was UTF-8) with a readable timestamp, and the user and device facts beside them.
#include <fuzzer/FuzzedDataProvider.h>

#include <time.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/log/LogUploader.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

using lumo::fuzz::require;
using lumo::fuzz::isUtf8;
using lumo::logging::LogRow;
using nlohmann::json;

constexpr std::int64_t kYear2200Millis = 7258118400000;
constexpr lumo::LogPriority kLevels[] = {lumo::LogPriority::verbose, lumo::LogPriority::debug,
                                         lumo::LogPriority::info, lumo::LogPriority::warn,
                                         lumo::LogPriority::error};

// "yyyy-MM-dd HH:mm:ss.SSS" read back to milliseconds (the process runs in UTC).
std::optional<std::int64_t> readTimestamp(const std::string& text) {
  struct tm parts {};
  int millis = 0;
  char tail = 0;
  if (text.size() != 23 || std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%c", &parts.tm_year, &parts.tm_mon,
                                       &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &millis,
                                       &tail) != 7) {
    return std::nullopt;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  return static_cast<std::int64_t>(timegm(&parts)) * 1000 + millis;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = [] {
    lumo::fuzz::quietSandbox();
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
  }();
  (void)ready;
  FuzzedDataProvider input(data, size);

  // The user facts the registration returned, when the input gives an object.
  json userInfo = json::parse(input.ConsumeRandomLengthString(256), nullptr, false);
  bool withUser = userInfo.is_object();
  lumo::logging::LoggerState::resetForTesting();
  if (withUser) lumo::logging::LoggerState::shared().setUserInfo(userInfo);

  std::vector<LogRow> rows;
  while (input.remaining_bytes() > 0 && rows.size() < 64) {
    LogRow row;
    row.id = static_cast<std::int64_t>(rows.size()) + 1;
    row.level = kLevels[input.ConsumeIntegralInRange<std::size_t>(0, 4)];
    row.timestamp = input.ConsumeBool() ? input.ConsumeIntegralInRange<std::int64_t>(0, kYear2200Millis)
                                        : input.ConsumeIntegral<std::int64_t>();
    row.tag = input.ConsumeRandomLengthString(32);
    row.message = input.ConsumeRandomLengthString(1024);
    rows.push_back(std::move(row));
  }

  json params = lumo::logging::LogUploader::makeBody(lumo::logging::LogUploader::makeLogs(rows));
  auto request = lumo::NetworkUtil::makeRequest("https://logs.example.com/app_log/save", "POST", &params);
  require(request.has_value(), "an upload request is built whatever the records hold");
  const std::string& body = request->body;
  require(isUtf8(body), "the body is valid UTF-8");
  json sent = json::parse(body, nullptr, false);
  require(sent.is_object(), "the body parses as a JSON object");

  const json& logs = sent["logs"];
  require(logs.is_array() && logs.size() == rows.size(), "every record is sent");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const json& entry = logs[i];
    require(entry["priority"] == lumo::rawValue(rows[i].level), "the priority is the record's");
    for (const char* field : {"tag", "message"}) {
      const std::string& original = field[0] == 't' ? rows[i].tag : rows[i].message;
      require(entry[field].is_string(), "text stays text");
      if (isUtf8(original)) require(entry[field] == original, "UTF-8 text is sent unchanged");
    }
    require(entry["timestamp"].is_string(), "the timestamp is text");
    if (rows[i].timestamp >= 0 && rows[i].timestamp <= kYear2200Millis) {
      require(readTimestamp(entry["timestamp"]) == rows[i].timestamp, "the timestamp reads back to the record's time");
    }
  }
  require(sent["device_info"].is_object(), "the device facts are sent");
  require(sent.contains("user_Info") == withUser, "the user facts are sent when known");
  if (withUser) require(sent["user_Info"] == userInfo, "the user facts are sent unchanged");
  return 0;
}
