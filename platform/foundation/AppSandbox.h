#pragma once

#include <filesystem>
#include <optional>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// The app's private folder, as a phone gives every app one: Documents for user data and
// Library/Preferences for the standard preferences. The root is read at every call so a test
// can point it elsewhere: $LUMO_SANDBOX_DIR when set, else
// ($XDG_DATA_HOME or ~/.local/share)/lumo/<bundle identifier>.
// Nothing here creates folders; callers create what they write into.
class LUMO_PLATFORM_EXPORT AppSandbox {
 public:
  // Absent only when neither the variable nor a home folder is known.
  static std::optional<std::filesystem::path> rootDirectory();
  static std::optional<std::filesystem::path> documentsDirectory();
  static std::optional<std::filesystem::path> libraryDirectory();
  static std::optional<std::filesystem::path> preferencesDirectory();

  AppSandbox() = delete;
};

}  // namespace platform::foundation
