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

// A structured log record: a map of JSON values whose compact JSON text becomes a record's
// message. Builders return the object itself so calls chain. Subclasses may override any of
// them. A value that cannot be encoded (a non-finite double, text that is not UTF-8) makes
// toJSONData() empty and description() "{}", never an exception.
class LUMO_EXPORT LogObject : public std::enable_shared_from_this<LogObject> {
 public:
  LogObject() = default;
  virtual ~LogObject() = default;

  virtual LogObject& put(const std::string& key, nlohmann::json value);
  virtual LogObject& putInt(const std::string& key, long value);
  virtual LogObject& putLong(const std::string& key, std::int64_t value);
  virtual LogObject& putDouble(const std::string& key, double value);
  virtual LogObject& putBool(const std::string& key, bool value);
  virtual LogObject& putString(const std::string& key, const std::string& value);
  virtual std::map<std::string, nlohmann::json> toDictionary() const;
  virtual std::optional<std::vector<std::uint8_t>> toJSONData() const;
  virtual std::string description() const;

 protected:
  std::map<std::string, nlohmann::json> data;
};

}  // namespace lumo
