#include "platform/foundation/AppSandbox.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <cstdlib>
#include <string>

#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/FileStore.h"
#include "platform/foundation/SystemLog.h"

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

bool refuse(const fs::path& path, const std::string& why) {
  SystemLog::error("AppSandbox: " + path.string() + " " + why + "; not used for private files");
  return false;
}

// One folder of the sandbox: created 0700 when missing, then checked.
bool prepareFolder(const fs::path& folder) {
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) {
    if (errno != ENOENT) return refuse(folder, std::string("cannot be examined: ") + std::strerror(errno));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return refuse(folder, std::string("cannot be created: ") + std::strerror(errno));
    }
    if (::lstat(folder.c_str(), &info) != 0) return refuse(folder, "vanished");
  }
  if (S_ISLNK(info.st_mode)) return refuse(folder, "is a link");
  if (!S_ISDIR(info.st_mode)) return refuse(folder, "is not a folder");
  if (info.st_uid != ::geteuid()) return refuse(folder, "belongs to another user");
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return refuse(folder, "is writable by others");
  if ((info.st_mode & 077) != 0) {
    if (::chmod(folder.c_str(), 0700) != 0) return refuse(folder, "cannot be made private");
    SystemLog::info("AppSandbox: " + folder.string() + " was readable by others; narrowed to 0700");
  }
  return true;
}

}  // namespace

bool AppSandbox::preparePrivateFolder(const fs::path& folder) {
  auto root = rootDirectory();
  if (!root) return false;
  fs::path below = folder.lexically_normal().lexically_relative(root->lexically_normal());
  if (below.empty() || *below.begin() == "..") return refuse(folder, "lies outside the sandbox");
  // The folders above the root are the user's data directory, not the app's.
  std::error_code ignored;
  if (root->has_parent_path()) fs::create_directories(root->parent_path(), ignored);
  fs::path current = *root;
  if (!prepareFolder(current)) return false;
  for (const auto& part : below) {
    if (part == ".") continue;
    current /= part;
    if (!prepareFolder(current)) return false;
  }
  return true;
}

bool AppSandbox::preparePrivateFile(const fs::path& file) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    return refuse(file, errno == ELOOP ? std::string("is a link") : std::string("cannot be opened: ") + std::strerror(errno));
  }
  bool usable = filestore::keepPrivate(fd, file);
  ::close(fd);
  return usable;
}

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
