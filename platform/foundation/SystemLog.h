#pragma once

#include <functional>
#include <string_view>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// os_log's stand-in: leveled diagnostics of the system's own components, never stored by the
// SDK. Lines go to standard error with a level prefix unless a sink is installed.
class LUMO_PLATFORM_EXPORT SystemLog {
 public:
  enum class Level { debug, info, error, fault };
  using Sink = std::function<void(Level level, std::string_view message)>;

  static void write(Level level, std::string_view message);
  static void debug(std::string_view message) { write(Level::debug, message); }
  static void info(std::string_view message) { write(Level::info, message); }
  static void error(std::string_view message) { write(Level::error, message); }
  static void fault(std::string_view message) { write(Level::fault, message); }

  // Replaces the sink (tests record messages); nullptr restores standard error.
  static void setSink(Sink sink);
  static const char* levelName(Level level);
};

}  // namespace platform::foundation
