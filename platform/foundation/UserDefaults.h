#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// The app's key-value preferences, kept as one JSON object in a file. The standard
// preferences live in the sandbox at "Library/Preferences/<bundle identifier>.json".
//
// Every change is written through at once (atomically: temporary file, then rename), so a
// crash loses nothing that a setter returned from; synchronize() retries a write that failed.
// A file that cannot be parsed is moved aside as "<name>.damaged-<n>" and the preferences
// start empty; a file that cannot be moved aside or read is never overwritten.
// All operations are thread-safe.
class LUMO_PLATFORM_EXPORT UserDefaults {
 public:
  static UserDefaults& standard();
  // The next standard() reads the sandbox afresh. References to the old standard object stay
  // valid (it is retired, not destroyed).
  static void resetStandardForTesting();

  // Preferences backed by `file`; absent: kept in memory only (no sandbox known).
  explicit UserDefaults(std::optional<std::filesystem::path> file);

  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The stored value, absent when the key is not set.
  std::optional<nlohmann::json> object(std::string_view key) const;
  // A string, or the text of a number; absent for other values.
  std::optional<std::string> string(std::string_view key) const;
  // Absent keys and values that do not convert read as 0 / 0.0 / false, as on the phone.
  std::int64_t integer(std::string_view key) const;
  double doubleValue(std::string_view key) const;
  bool boolValue(std::string_view key) const;
  // A copy of every key and value.
  nlohmann::json dictionaryRepresentation() const;

  // Stores `value` (a null value removes the key, as setting nil does). A value holding NaN
  // or infinity is refused with a system-log error: the file could not give it back.
  void set(const nlohmann::json& value, std::string_view key);
  void removeObject(std::string_view key);

  // Writes pending changes; true when the file holds every change.
  bool synchronize();

  const std::optional<std::filesystem::path>& filePath() const { return file_; }

 private:
  void load();
  bool persistLocked();

  mutable std::mutex mutex_;
  std::optional<std::filesystem::path> file_;
  nlohmann::json values_ = nlohmann::json::object();
  bool dirty_ = false;
  // False when the file on disk must not be replaced (it could not be read or set aside).
  bool writable_ = true;
};

}  // namespace platform::foundation
