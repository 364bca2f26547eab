#include "platform/foundation/UserDefaults.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "platform/foundation/AppSandbox.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/FileStore.h"
#include "platform/foundation/SystemLog.h"

namespace platform::foundation {
namespace {

using nlohmann::json;

struct StandardSlot {
  std::mutex mutex;
  std::unique_ptr<UserDefaults> current;
  // Old instances stay alive so that references handed out earlier never dangle.
  std::vector<std::unique_ptr<UserDefaults>> retired;
};

StandardSlot& standardSlot() {
  static StandardSlot* slot = new StandardSlot;  // outlives static destructors of its users
  return *slot;
}

// Far above what the SDK keeps there; a larger file is not read into memory.
constexpr std::size_t kMaxFileBytes = 4 << 20;

std::optional<std::filesystem::path> standardFile() {
  auto folder = AppSandbox::preferencesDirectory();
  if (!folder || !AppSandbox::preparePrivateFolder(*folder)) return std::nullopt;
  return *folder / (filestore::safeFileName(BundleInfo::main().identifier(), "preferences") + ".json");
}

std::string_view trimmedStart(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  return text;
}

// The leading integer of a text, as NSString's integerValue reads it ("12abc" -> 12).
std::int64_t leadingInteger(std::string_view text) {
  text = trimmedStart(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::int64_t value = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (char c : text) {
    if (c < '0' || c > '9') break;
    int digit = c - '0';
    if (value > (kMax - digit) / 10) return negative ? std::numeric_limits<std::int64_t>::min() : kMax;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::int64_t clampToInteger(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
  if (value <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

// JSON has no NaN or infinity: written out they come back as null after a relaunch.
bool holdsOnlyFiniteNumbers(const json& value) {
  if (value.is_number_float()) return std::isfinite(value.get<double>());
  if (value.is_structured()) {
    for (const auto& item : value) {
      if (!holdsOnlyFiniteNumbers(item)) return false;
    }
  }
  return true;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
  StandardSlot& slot = standardSlot();
  std::lock_guard lock(slot.mutex);
  if (!slot.current) slot.current = std::make_unique<UserDefaults>(standardFile());
  return *slot.current;
}

void UserDefaults::resetStandardForTesting() {
  StandardSlot& slot = standardSlot();
  std::lock_guard lock(slot.mutex);
  if (slot.current) slot.retired.push_back(std::move(slot.current));
}

UserDefaults::UserDefaults(std::optional<std::filesystem::path> file) : file_(std::move(file)) {
  if (!file_) {
    SystemLog::error("UserDefaults: no sandbox folder; preferences are kept in memory only");
    return;
  }
  load();
}

void UserDefaults::load() {
  filestore::ReadResult read = filestore::readPrivate(*file_, kMaxFileBytes);
  if (read.status == filestore::ReadStatus::missing) return;
  if (read.status == filestore::ReadStatus::failed) {
    writable_ = false;
    SystemLog::error("UserDefaults: " + read.error + " " + file_->string() +
                     "; preferences start empty and the file is left untouched");
    return;
  }
  json parsed = json::parse(read.contents, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_object()) {
    values_ = std::move(parsed);
    return;
  }
  // Overwriting a damaged file would destroy the only copy someone may still recover.
  if (auto aside = filestore::setAside(*file_)) {
    SystemLog::error("UserDefaults: damaged preferences file " + file_->string() + " set aside as " +
                     aside->string());
  } else {
    writable_ = false;
    SystemLog::error("UserDefaults: damaged preferences file " + file_->string() +
                     " could not be set aside; changes are kept in memory only");
  }
}

std::optional<json> UserDefaults::object(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto found = values_.find(key);
  if (found == values_.end()) return std::nullopt;
  return *found;
}

std::optional<std::string> UserDefaults::string(std::string_view key) const {
  std::optional<json> value = object(key);
  if (!value) return std::nullopt;
  if (value->is_string()) return value->get_ref<const std::string&>();
  if (value->is_number()) return value->dump();
  return std::nullopt;
}

std::int64_t UserDefaults::integer(std::string_view key) const {
  std::optional<json> value = object(key);
  if (!value) return 0;
  if (value->is_number_unsigned()) {
    auto number = value->get<std::uint64_t>();
    return number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(number);
  }
  if (value->is_number_integer()) return value->get<std::int64_t>();
  if (value->is_number_float()) return clampToInteger(value->get<double>());
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  if (value->is_string()) return leadingInteger(value->get_ref<const std::string&>());
  return 0;
}

double UserDefaults::doubleValue(std::string_view key) const {
  std::optional<json> value = object(key);
  if (!value) return 0.0;
  if (value->is_number()) return value->get<double>();
  if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
  if (value->is_string()) return std::strtod(value->get_ref<const std::string&>().c_str(), nullptr);
  return 0.0;
}

bool UserDefaults::boolValue(std::string_view key) const {
  std::optional<json> value = object(key);
  if (!value) return false;
  if (value->is_boolean()) return value->get<bool>();
  if (value->is_number()) return value->get<double>() != 0.0;
  if (value->is_string()) {
    std::string text(trimmedStart(value->get_ref<const std::string&>()));
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text == "yes" || text == "true" || leadingInteger(text) != 0;
  }
  return false;
}

json UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  return values_;
}

void UserDefaults::set(const json& value, std::string_view key) {
  if (value.is_null()) {
    removeObject(key);
    return;
  }
  if (!holdsOnlyFiniteNumbers(value)) {
    SystemLog::error("UserDefaults: a value for \"" + std::string(key) +
                     "\" holds a number that cannot be stored (NaN or infinity); the key keeps its value");
    return;
  }
  std::lock_guard lock(mutex_);
  values_[std::string(key)] = value;
  dirty_ = true;
  persistLocked();
}

void UserDefaults::removeObject(std::string_view key) {
  std::lock_guard lock(mutex_);
  auto found = values_.find(key);
  if (found == values_.end()) return;
  values_.erase(found);
  dirty_ = true;
  persistLocked();
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  return persistLocked();
}

bool UserDefaults::persistLocked() {
  if (!dirty_) return true;
  if (!file_ || !writable_) return false;
  // Text that is not valid UTF-8 is replaced rather than failing the whole write.
  std::string text = values_.dump(2, ' ', false, json::error_handler_t::replace);
  text.push_back('\n');
  if (auto error = filestore::writeAtomically(*file_, text)) {
    SystemLog::error("UserDefaults: " + *error + " " + file_->string());
    return false;
  }
  dirty_ = false;
  return true;
}

}  // namespace platform::foundation
