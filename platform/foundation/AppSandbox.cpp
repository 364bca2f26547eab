#include "platform/foundation/AppSandbox.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/FileStore.h"

namespace platform::foundation {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::optional<fs::path> homeDirectory() {
  if (auto home = environment("HOME")) return fs::path(*home);
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && *found->pw_dir != '\0') {
    return fs::path(found->pw_dir);
  }
  return std::nullopt;
}


}  // namespace

std::optional<fs::path> AppSandbox::rootDirectory() {
  if (auto sandbox = environment("LUMO_SANDBOX_DIR")) return fs::path(*sandbox);
  std::optional<fs::path> dataHome;
  // The XDG rules ignore a relative value.
  if (auto xdg = environment("XDG_DATA_HOME"); xdg && fs::path(*xdg).is_absolute()) {
    dataHome = fs::path(*xdg);
  } else if (auto home = homeDirectory()) {
    dataHome = *home / ".local" / "share";
  }
  if (!dataHome) return std::nullopt;
  // The identifier becomes one folder name: a "/" or ".." in it must not lead elsewhere.
  return *dataHome / "lumo" / filestore::safeFileName(BundleInfo::main().identifier(), "unidentified-app");
}

std::optional<fs::path> AppSandbox::documentsDirectory() {
  auto root = rootDirectory();
  if (!root) return std::nullopt;
  return *root / "Documents";
}

std::optional<fs::path> AppSandbox::libraryDirectory() {
  auto root = rootDirectory();
  if (!root) return std::nullopt;
  return *root / "Library";
}

std::optional<fs::path> AppSandbox::preferencesDirectory() {
  auto library = libraryDirectory();
  if (!library) return std::nullopt;
  return *library / "Preferences";
}

}  // namespace platform::foundation
