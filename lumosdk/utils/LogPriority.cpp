#include "lumosdk/utils/LogPriority.h"

namespace lumo {

std::optional<LogPriority> logPriorityFromRaw(long long raw) {
  if (raw < rawValue(LogPriority::verbose) || raw > rawValue(LogPriority::error)) return std::nullopt;
  return static_cast<LogPriority>(raw);
}

}  // namespace lumo
