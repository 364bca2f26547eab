#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumosdk/LumoExport.h"

namespace lumo {

/// A structured log record: a map of JSON values whose compact JSON text becomes a record's
/// message. Builders return the object itself so calls chain. Subclasses may override any of
/// them. A value that cannot be encoded (a non-finite double, text that is not UTF-8) makes
/// toJSONData() empty and description() "{}", never an exception.
class LUMO_EXPORT LogObject : public std::enable_shared_from_this<LogObject> {
 public:
  /// An empty record.
  LogObject() = default;
  /// Records may be subclassed.
  virtual ~LogObject() = default;

  /// Sets `key` to any JSON value, replacing an earlier one.
  virtual LogObject& put(const std::string& key, nlohmann::json value);
  /// Sets `key` to an integer.
  virtual LogObject& putInt(const std::string& key, long value);
  /// Sets `key` to a 64-bit integer.
  virtual LogObject& putLong(const std::string& key, std::int64_t value);
  /// Sets `key` to a number (a non-finite one makes the record unencodable).
  virtual LogObject& putDouble(const std::string& key, double value);
  /// Sets `key` to true or false.
  virtual LogObject& putBool(const std::string& key, bool value);
  /// Sets `key` to a text (text that is not UTF-8 makes the record unencodable).
  virtual LogObject& putString(const std::string& key, const std::string& value);
  /// A copy of the record's values.
  virtual std::map<std::string, nlohmann::json> toDictionary() const;
  /// The compact JSON text's bytes; nothing when a value cannot be encoded.
  virtual std::optional<std::vector<std::uint8_t>> toJSONData() const;
  /// The compact JSON text, or "{}" when a value cannot be encoded.
  virtual std::string description() const;

 protected:
  /// The record's values, for subclasses.
  std::map<std::string, nlohmann::json> data;
};

}  // namespace lumo
