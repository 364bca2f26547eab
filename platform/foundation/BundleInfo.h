#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// The main bundle's stand-in: the facts a phone app reads from its bundle (identifier,
// version strings) and where its resource files live. A host sets them at start; every
// accessor is thread-safe because the URL session and the logger read them off the main
// thread.
class LUMO_PLATFORM_EXPORT BundleInfo {
 public:
  static constexpr const char* kDefaultIdentifier = "com.nimbo.lumodemo";
  static constexpr const char* kDefaultShortVersion = "1.0.0";
  static constexpr const char* kDefaultBuildVersion = "1";

  static BundleInfo& main();

  // Empty text means the app has no identifier.
  std::string identifier() const;
  void setIdentifier(std::string identifier);

  // "CFBundleShortVersionString"; absent when the bundle does not carry one.
  std::optional<std::string> shortVersion() const;
  void setShortVersion(std::optional<std::string> version);

  // "CFBundleVersion"; absent when the bundle does not carry one.
  std::optional<std::string> buildVersion() const;
  void setBuildVersion(std::optional<std::string> build);

  // Folder of the bundle's resource files; by default "resources" next to the executable.
  std::filesystem::path resourceDirectory() const;
  void setResourceDirectory(std::filesystem::path directory);

  // Restores every default (tests).
  void resetForTesting();

  BundleInfo(const BundleInfo&) = delete;
  BundleInfo& operator=(const BundleInfo&) = delete;

 private:
  BundleInfo();

  mutable std::mutex mutex_;
  std::string identifier_;
  std::optional<std::string> shortVersion_;
  std::optional<std::string> buildVersion_;
  std::optional<std::filesystem::path> resourceDirectory_;  // absent: the default folder
};

}  // namespace platform::foundation
