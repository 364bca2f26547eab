#pragma once

#include <optional>

#include "lumosdk/LumoExport.h"

namespace lumo {

/// Level of a log record; the raw value is what is stored and uploaded.
enum class LogPriority : int { verbose = 2, debug = 3, info = 4, warn = 5, error = 6 };

/// Accepts exactly the raw values 2 to 6.
LUMO_EXPORT std::optional<LogPriority> logPriorityFromRaw(long long raw);
/// The raw value of a priority, 2 to 6.
inline int rawValue(LogPriority priority) { return static_cast<int>(priority); }

}  // namespace lumo
