#include "demo/host/RecordedSessions.h"

#include <algorithm>

#include "platform/foundation/AppSandbox.h"

namespace demo {

std::vector<std::filesystem::path> recordedSessions() {
  std::vector<std::filesystem::path> files;
  auto library = platform::foundation::AppSandbox::libraryDirectory();
  if (!library) return files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(*library / "Recordings", ec), end; !ec && it != end; it.increment(ec)) {
    const auto& path = it->path();
    if (path.extension() == ".mcap" && it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(path);
  }
  // Names carry their UTC second and a number: the newest sorts last.
  std::sort(files.begin(), files.end(), std::greater<>());
  return files;
}

}  // namespace demo
