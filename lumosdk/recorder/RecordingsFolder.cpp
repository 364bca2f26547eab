#include "lumosdk/recorder/RecordingsFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <mutex>
#include <set>
#include <tuple>

#include "platform/foundation/AppSandbox.h"
#include "platform/foundation/SystemLog.h"

namespace lumo::recorder {

namespace fs = std::filesystem;

namespace {

std::mutex& writingMutex() {
  static std::mutex mutex;
  return mutex;
}
std::set<fs::path>& writing() {
  static std::set<fs::path> files;
  return files;
}

// The stamp and number of a recording's name, the order of its recording.
std::optional<std::tuple<std::string, long>> sortKey(const std::string& name) {
  // session-YYYYMMDDTHHMMSSZ-<n>.mcap
  constexpr std::size_t kStamp = 16;
  const std::string prefix = "session-", suffix = ".mcap";
  if (name.size() < prefix.size() + kStamp + 2 + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return std::nullopt;
  const std::string stamp = name.substr(prefix.size(), kStamp);
  for (std::size_t i = 0; i < kStamp; ++i) {
    const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
    if (i == 8 ? stamp[i] != 'T' : i == 15 ? stamp[i] != 'Z' : !digit) return std::nullopt;
  }
  const std::size_t numberAt = prefix.size() + kStamp;
  if (name[numberAt] != '-') return std::nullopt;
  const std::string number = name.substr(numberAt + 1, name.size() - suffix.size() - numberAt - 1);
  if (number.empty() || number.size() > 6 || !std::all_of(number.begin(), number.end(), [](char c) {
        return c >= '0' && c <= '9';
      }))
    return std::nullopt;
  return std::make_tuple(stamp, std::stol(number));
}

}  // namespace

std::optional<fs::path> RecordingsFolder::path() {
  auto library = platform::foundation::AppSandbox::libraryDirectory();
  if (!library) return std::nullopt;
  return *library / "Recordings";
}

std::string RecordingsFolder::fileName(double wallTimeMs, int n) {
  const std::time_t seconds = static_cast<std::time_t>(std::floor(wallTimeMs / 1000.0));
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
  return "session-" + std::string(stamp) + "-" + std::to_string(n) + ".mcap";
}

std::vector<fs::path> RecordingsFolder::files() {
  std::vector<std::pair<std::tuple<std::string, long>, fs::path>> found;
  auto folder = path();
  std::error_code ec;
  if (!folder) return {};
  for (fs::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
    auto key = sortKey(it->path().filename().string());
    if (!key || !it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    found.emplace_back(*key, it->path());
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<fs::path> paths;
  for (auto& entry : found) paths.push_back(std::move(entry.second));
  return paths;
}

void RecordingsFolder::prune() {
  std::set<fs::path> open;
  {
    std::lock_guard lock(writingMutex());
    open = writing();
  }
  std::size_t kept = 0;
  std::uint64_t bytes = 0;
  bool full = false;
  for (const auto& file : files()) {
    struct stat info {};
    const std::uint64_t size = ::lstat(file.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    // Oldest go first: once one no longer fits, every older one goes too.
    const bool fits = !full && kept < kMaxSessions && bytes + size <= kMaxBytes;
    if (!fits) full = true;
    if (fits || open.count(file)) {
      ++kept;
      bytes += size;
      continue;
    }
    std::error_code ec;
    if (!fs::remove(file, ec) && ec)
      platform::foundation::SystemLog::error("recorder: could not remove the old recording " +
                                             file.filename().string() + ": " + ec.message());
  }
}

void RecordingsFolder::markWriting(const fs::path& file) {
  std::lock_guard lock(writingMutex());
  writing().insert(file);
}

bool RecordingsFolder::isWriting(const fs::path& file) {
  std::lock_guard lock(writingMutex());
  return writing().count(file) > 0;
}

void RecordingsFolder::unmarkWriting(const fs::path& file) {
  std::lock_guard lock(writingMutex());
  writing().erase(file);
}

}  // namespace lumo::recorder
