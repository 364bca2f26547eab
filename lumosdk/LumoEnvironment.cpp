#include "lumosdk/LumoEnvironment.h"

#include <cstdlib>
#include <mutex>
#include <set>

#include "platform/foundation/SystemLog.h"

namespace lumo {

namespace {
constexpr const char* kProductionBaseUrl = "https://oper-api.nimbo.example";
// The backend simulator's default address (sim/tools/lumo_backend listens there).
constexpr const char* kDevelopmentBaseUrl = "https://127.0.0.1:18443";
// One system-log line per distinct override, however often the URL is asked for.
void warnOnce(const std::string& line) {
  static std::mutex mutex;
  static std::set<std::string> said;
  std::lock_guard lock(mutex);
  if (said.size() >= 16 || !said.insert(line).second) return;
  platform::foundation::SystemLog::error(line);
}
}  // namespace

std::optional<LumoEnvironment> lumoEnvironmentFromRaw(int raw) {
  if (raw == 0) return LumoEnvironment::development;
  if (raw == 1) return LumoEnvironment::production;
  return std::nullopt;
}

std::string lumoBaseUrl(LumoEnvironment environment) {
  if (environment == LumoEnvironment::production) return kProductionBaseUrl;
#if LUMO_DEVELOPMENT_OVERRIDES
  const char* configured = std::getenv("LUMO_DEV_BASE_URL");
  if (configured != nullptr && *configured != '\0') {
    std::string base = configured;
    while (!base.empty() && base.back() == '/') base.pop_back();
    // The access token travels with every request: never in clear.
    if (base.rfind("https://", 0) != 0) {
      warnOnce("LumoEnvironment: LUMO_DEV_BASE_URL ignored, not an https URL: " + base);
      return kDevelopmentBaseUrl;
    }
    warnOnce("LumoEnvironment: development override active: LUMO_DEV_BASE_URL=" + base);
    return base;
  }
#endif
  return kDevelopmentBaseUrl;
}

}  // namespace lumo
