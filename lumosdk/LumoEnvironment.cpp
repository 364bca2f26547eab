#include "lumosdk/LumoEnvironment.h"

#include <cstdlib>

namespace lumo {

namespace {
constexpr const char* kProductionBaseUrl = "https://oper-api.nimbo.example";
// The backend simulator's default address (sim/tools/lumo_backend listens there).
constexpr const char* kDevelopmentBaseUrl = "https://127.0.0.1:18443";
}  // namespace

std::optional<LumoEnvironment> lumoEnvironmentFromRaw(int raw) {
  if (raw == 0) return LumoEnvironment::development;
  if (raw == 1) return LumoEnvironment::production;
  return std::nullopt;
}

std::string lumoBaseUrl(LumoEnvironment environment) {
  if (environment == LumoEnvironment::production) return kProductionBaseUrl;
  const char* configured = std::getenv("LUMO_DEV_BASE_URL");
  std::string base = (configured != nullptr && *configured != '\0') ? configured : kDevelopmentBaseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

}  // namespace lumo
