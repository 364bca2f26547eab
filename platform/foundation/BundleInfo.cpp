#include "platform/foundation/BundleInfo.h"

#include <system_error>

namespace platform::foundation {
namespace {

std::filesystem::path executableDirectory() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || exe.empty()) return std::filesystem::current_path(error);
  return exe.parent_path();
}

}  // namespace

BundleInfo& BundleInfo::main() {
  static BundleInfo* instance = new BundleInfo;  // outlives static destructors of its readers
  return *instance;
}

BundleInfo::BundleInfo()
    : identifier_(kDefaultIdentifier),
      shortVersion_(kDefaultShortVersion),
      buildVersion_(kDefaultBuildVersion) {}

std::string BundleInfo::identifier() const {
  std::lock_guard lock(mutex_);
  return identifier_;
}

void BundleInfo::setIdentifier(std::string identifier) {
  std::lock_guard lock(mutex_);
  identifier_ = std::move(identifier);
}

std::optional<std::string> BundleInfo::shortVersion() const {
  std::lock_guard lock(mutex_);
  return shortVersion_;
}

void BundleInfo::setShortVersion(std::optional<std::string> version) {
  std::lock_guard lock(mutex_);
  shortVersion_ = std::move(version);
}

std::optional<std::string> BundleInfo::buildVersion() const {
  std::lock_guard lock(mutex_);
  return buildVersion_;
}

void BundleInfo::setBuildVersion(std::optional<std::string> build) {
  std::lock_guard lock(mutex_);
  buildVersion_ = std::move(build);
}

std::filesystem::path BundleInfo::resourceDirectory() const {
  {
    std::lock_guard lock(mutex_);
    if (resourceDirectory_) return *resourceDirectory_;
  }
  return executableDirectory() / "resources";
}

void BundleInfo::setResourceDirectory(std::filesystem::path directory) {
  std::lock_guard lock(mutex_);
  resourceDirectory_ = std::move(directory);
}

void BundleInfo::resetForTesting() {
  std::lock_guard lock(mutex_);
  identifier_ = kDefaultIdentifier;
  shortVersion_.emplace(kDefaultShortVersion);
  buildVersion_.emplace(kDefaultBuildVersion);
  resourceDirectory_.reset();
}

}  // namespace platform::foundation
