#include "platform/foundation/KeyedArchive.h"

#include <algorithm>
#include <cmath>

namespace platform::foundation {

using Json = nlohmann::json;

KeyedArchive KeyedArchive::fromJson(const Json& value) {
  KeyedArchive archive;
  if (value.is_object()) archive.values_ = value;
  return archive;
}

KeyedArchive KeyedArchive::fromText(std::string_view text) {
  // Parsing without exceptions: a damaged archive must not take its reader down.
  Json parsed = Json::parse(text.begin(), text.end(), nullptr, false);
  if (parsed.is_discarded()) return {};
  return fromJson(parsed);
}

std::string KeyedArchive::text() const {
  // Replacement keeps dumping safe when a string was not valid UTF-8.
  return values_.dump(-1, ' ', false, Json::error_handler_t::replace);
}

const Json* KeyedArchive::find(std::string_view key) const {
  auto it = values_.find(key);
  return it == values_.end() ? nullptr : &*it;
}

bool KeyedArchive::containsValue(std::string_view key) const { return find(key) != nullptr; }

void KeyedArchive::encodeBool(std::string_view key, bool value) { values_[std::string(key)] = value; }

void KeyedArchive::encodeInteger(std::string_view key, std::int64_t value) { values_[std::string(key)] = value; }

void KeyedArchive::encodeDouble(std::string_view key, double value) {
  if (!std::isfinite(value)) {
    values_.erase(std::string(key));
    return;
  }
  values_[std::string(key)] = value;
}

void KeyedArchive::encodeString(std::string_view key, std::string_view value) {
  values_[std::string(key)] = std::string(value);
}

void KeyedArchive::encodeColor(std::string_view key, const ColorComponents& color) {
  auto finite = [](double v) { return std::isfinite(v) ? v : 0.0; };
  values_[std::string(key)] = Json{{"red", finite(color.red)},
                                   {"green", finite(color.green)},
                                   {"blue", finite(color.blue)},
                                   {"alpha", finite(color.alpha)}};
}

void KeyedArchive::encodeArchive(std::string_view key, const KeyedArchive& archive) {
  values_[std::string(key)] = archive.values_;
}

std::optional<bool> KeyedArchive::boolValue(std::string_view key) const {
  const Json* value = find(key);
  if (!value || !value->is_boolean()) return std::nullopt;
  return value->get<bool>();
}

std::optional<std::int64_t> KeyedArchive::integerValue(std::string_view key) const {
  const Json* value = find(key);
  if (!value || !value->is_number_integer()) return std::nullopt;
  if (value->is_number_unsigned() && value->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
    return std::nullopt;
  }
  return value->get<std::int64_t>();
}

std::optional<double> KeyedArchive::doubleValue(std::string_view key) const {
  const Json* value = find(key);
  if (!value || !value->is_number()) return std::nullopt;
  return value->get<double>();
}

std::optional<std::string> KeyedArchive::stringValue(std::string_view key) const {
  const Json* value = find(key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

std::optional<KeyedArchive::ColorComponents> KeyedArchive::colorValue(std::string_view key) const {
  const Json* value = find(key);
  if (!value || !value->is_object()) return std::nullopt;
  double parts[4];
  const char* names[4] = {"red", "green", "blue", "alpha"};
  for (int i = 0; i < 4; ++i) {
    auto it = value->find(names[i]);
    if (it == value->end() || !it->is_number()) return std::nullopt;
    parts[i] = std::clamp(it->get<double>(), 0.0, 1.0);
  }
  return ColorComponents{parts[0], parts[1], parts[2], parts[3]};
}

std::optional<KeyedArchive> KeyedArchive::archiveValue(std::string_view key) const {
  const Json* value = find(key);
  if (!value || !value->is_object()) return std::nullopt;
  return fromJson(*value);
}

}  // namespace platform::foundation
