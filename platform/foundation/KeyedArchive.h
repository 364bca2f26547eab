#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// NSKeyedArchiver/NSKeyedUnarchiver's stand-in: named values (bools, numbers, strings,
// colours, nested archives) kept as one JSON object. Views and controllers write their
// state into one and are created again from it. Reading never throws: a key that is
// missing or holds another type reads as absent (the optional getters) or as the given
// default (the decode getters), so an old or hand-edited archive still loads.
class LUMO_PLATFORM_EXPORT KeyedArchive {
 public:
  // Straight red, green, blue, alpha on 0...1.
  struct ColorComponents {
    double red = 0, green = 0, blue = 0, alpha = 0;
    bool operator==(const ColorComponents&) const = default;
  };

  KeyedArchive() = default;
  // A JSON object; any other value gives an empty archive.
  static KeyedArchive fromJson(const nlohmann::json& json);
  // JSON text; text that does not parse to an object gives an empty archive.
  static KeyedArchive fromText(std::string_view text);

  const nlohmann::json& json() const { return values_; }
  std::string text() const;
  bool containsValue(std::string_view key) const;
  bool isEmpty() const { return values_.empty(); }

  // ---- writing (a later write of a key replaces the earlier one)
  void encodeBool(std::string_view key, bool value);
  void encodeInteger(std::string_view key, std::int64_t value);
  // Non-finite numbers cannot be written to JSON; they are stored as absent.
  void encodeDouble(std::string_view key, double value);
  void encodeString(std::string_view key, std::string_view value);
  void encodeColor(std::string_view key, const ColorComponents& color);
  void encodeArchive(std::string_view key, const KeyedArchive& archive);

  // ---- reading: absent when missing or of another type
  std::optional<bool> boolValue(std::string_view key) const;
  // Integral numbers only.
  std::optional<std::int64_t> integerValue(std::string_view key) const;
  std::optional<double> doubleValue(std::string_view key) const;
  std::optional<std::string> stringValue(std::string_view key) const;
  // Needs all four components as numbers; each is clamped to 0...1.
  std::optional<ColorComponents> colorValue(std::string_view key) const;
  std::optional<KeyedArchive> archiveValue(std::string_view key) const;

  // ---- reading with a default
  bool decodeBool(std::string_view key, bool fallback = false) const { return boolValue(key).value_or(fallback); }
  std::int64_t decodeInteger(std::string_view key, std::int64_t fallback = 0) const {
    return integerValue(key).value_or(fallback);
  }
  double decodeDouble(std::string_view key, double fallback = 0) const { return doubleValue(key).value_or(fallback); }
  std::string decodeString(std::string_view key, std::string fallback = {}) const {
    return stringValue(key).value_or(std::move(fallback));
  }

 private:
  const nlohmann::json* find(std::string_view key) const;
  nlohmann::json values_ = nlohmann::json::object();
};

}  // namespace platform::foundation
