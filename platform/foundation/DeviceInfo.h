#pragma once

#include <optional>
#include <string>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// The current device's facts, as a phone's device object tells them: model, the user's name
// for the device, the operating system's name and version, and an identifier that stays the
// same for this app across runs. Values are read afresh at each call; thread-safe.
class LUMO_PLATFORM_EXPORT DeviceInfo {
 public:
  static const DeviceInfo& current();

  // The machine's product name when the firmware gives one, else "Linux PC".
  std::string model() const;
  // The host name.
  std::string name() const;
  std::string systemName() const { return "Linux"; }
  // The kernel release.
  std::string systemVersion() const;

  // A random UUID (upper-case, 36 characters) made on first use and kept in the sandbox
  // ("Library/vendor-id"); absent when it cannot be kept, since one that changed every run
  // would be worse than none.
  std::optional<std::string> identifierForVendor() const;

  // Replaces the host name as the device's name until cleared with nothing; a user may call
  // a phone anything, so tests give it awkward names.
  static void setNameForTesting(std::optional<std::string> name);

  DeviceInfo(const DeviceInfo&) = delete;
  DeviceInfo& operator=(const DeviceInfo&) = delete;

 private:
  DeviceInfo() = default;
};

}  // namespace platform::foundation
