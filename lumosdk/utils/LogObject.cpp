#include "lumosdk/utils/LogObject.h"

#include <cmath>

#include "lumosdk/utils/log/Utf8.h"

namespace lumo {
namespace {

// nlohmann writes NaN and infinity as null; a record holding them is not valid JSON for us.
bool allFinite(const nlohmann::json& value) {
  if (value.is_number_float()) return std::isfinite(value.get<double>());
  if (value.is_structured()) {
    for (const auto& element : value) {
      if (!allFinite(element)) return false;
    }
  }
  return true;
}

std::optional<std::string> encode(const std::map<std::string, nlohmann::json>& data) {
  nlohmann::json object = nlohmann::json::object();
  for (const auto& [key, value] : data) {
    if (!allFinite(value)) return std::nullopt;
    object[key] = value;
  }
  try {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;  // a key or string that is not UTF-8
  }
}

}  // namespace

LogObject& LogObject::put(const std::string& key, nlohmann::json value) {
  data[key] = std::move(value);
  return *this;
}

LogObject& LogObject::putInt(const std::string& key, long value) { return put(key, value); }

LogObject& LogObject::putLong(const std::string& key, std::int64_t value) { return put(key, value); }

LogObject& LogObject::putDouble(const std::string& key, double value) { return put(key, value); }

LogObject& LogObject::putBool(const std::string& key, bool value) { return put(key, value); }

LogObject& LogObject::putString(const std::string& key, const std::string& value) { return put(key, value); }

std::map<std::string, nlohmann::json> LogObject::toDictionary() const { return data; }

std::optional<std::vector<std::uint8_t>> LogObject::toJSONData() const {
  auto text = encode(data);
  if (!text) return std::nullopt;
  return std::vector<std::uint8_t>(text->begin(), text->end());
}

std::string LogObject::description() const {
  auto bytes = toJSONData();  // a subclass may hand back any bytes
  if (!bytes || !logging::isValidUtf8(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))) return "{}";
  return std::string(bytes->begin(), bytes->end());
}

}  // namespace lumo
