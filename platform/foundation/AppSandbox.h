#pragma once

#include <filesystem>
#include <optional>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// The app's private folder, as a phone gives every app one: Documents for user data and
// Library/Preferences for the standard preferences. The root is read at every call so a test
// can point it elsewhere: $LUMO_SANDBOX_DIR when set, else
// ($XDG_DATA_HOME or ~/.local/share)/lumo/<bundle identifier>.
// The paths create nothing; callers prepare the folders they write into, which makes them
// private as a phone's sandbox is.
class LUMO_PLATFORM_EXPORT AppSandbox {
 public:
  // Absent only when neither the variable nor a home folder is known.
  static std::optional<std::filesystem::path> rootDirectory();
  static std::optional<std::filesystem::path> documentsDirectory();
  static std::optional<std::filesystem::path> libraryDirectory();
  static std::optional<std::filesystem::path> preferencesDirectory();

  // Makes `folder` (the root or a folder below it) fit for the user's private files and says
  // whether it is. Missing folders are created 0700 whatever the umask; the user's own folders
  // that others may read are narrowed to 0700 (one system-log line each). A folder that is a
  // link or no folder, belongs to another user or that others may write is refused (one
  // line): someone else could have planted or could swap what it holds.
  static bool preparePrivateFolder(const std::filesystem::path& folder);
  // Makes `file` in a prepared folder a private file: created empty 0600 when missing,
  // narrowed to 0600 when others may read it (one line); refused when it is a link, no
  // regular file or another user's. SQLite gives its side files the mode of the database.
  static bool preparePrivateFile(const std::filesystem::path& file);

  AppSandbox() = delete;
};

}  // namespace platform::foundation
