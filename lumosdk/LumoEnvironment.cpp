#include "lumosdk/LumoEnvironment.h"

#include <cstdlib>
#include <mutex>

#include "lumosdk/LumoSdk.h"
#include "platform/foundation/SystemLog.h"
#include "platform/net/TrustStore.h"
#include "platform/net/Url.h"

namespace lumo {

namespace {
constexpr const char* kProductionBaseUrl = "https://oper-api.nimbo.example";
// The backend simulator's default address (sim/tools/lumo_backend listens there).
constexpr const char* kDevelopmentBaseUrl = "https://127.0.0.1:18443";

// The one record of where the development environment talks and whom it trusts there.
struct Development {
  std::mutex mutex;
  std::string baseUrl;       // empty: the default address
  bool named = false;        // the host named a backend (then the environment is not read)
  bool environmentRead = false;
};

Development& development() {
  static Development* instance = new Development;  // read by background completions during exit
  return *instance;
}

void warn(const std::string& line) { platform::foundation::SystemLog::error(line); }

// The origin of an https URL without trailing slashes, or nothing: the access token travels
// with every request, never in clear.
std::optional<std::pair<std::string, std::string>> httpsOrigin(std::string text) {
  while (!text.empty() && text.back() == '/') text.pop_back();
  auto url = platform::net::Url::parse(text);
  if (!url || url->scheme() != "https") return std::nullopt;
  return std::make_pair(text, url->host());
}

// Names the development backend, trusting `caFile` for its host alone. Nothing changes on
// a refusal.
bool nameLocked(Development& d, const std::string& baseUrl, const std::string& caFile, const std::string& origin) {
  auto parsed = httpsOrigin(baseUrl);
  if (!parsed) {
    warn(origin + ": development backend refused, not an https URL: " + baseUrl);
    return false;
  }
  const auto& [base, host] = *parsed;
  if (!platform::net::TrustStore::setHostCertificateFile(host, caFile)) {
    warn(origin + ": development backend refused, no certificate in " + caFile);
    return false;
  }
  d.baseUrl = base;
  warn(origin + ": development backend " + base +
       (caFile.empty() ? std::string() : ", " + caFile + " trusted for " + host + " only"));
  return true;
}

#if LUMO_DEVELOPMENT_OVERRIDES
// A development build also takes the backend and its CA from the environment, once, unless the
// host named one itself.
void readEnvironmentLocked(Development& d) {
  if (d.environmentRead || d.named) return;
  d.environmentRead = true;
  const char* base = std::getenv("LUMO_DEV_BASE_URL");
  const char* ca = std::getenv("LUMO_TRUSTED_CA_FILE");
  std::string baseUrl = base != nullptr && *base != '\0' ? base : kDevelopmentBaseUrl;
  std::string caFile = ca != nullptr ? ca : "";
  if (baseUrl == kDevelopmentBaseUrl && caFile.empty()) return;
  nameLocked(d, baseUrl, caFile, "LumoEnvironment: override LUMO_DEV_BASE_URL/LUMO_TRUSTED_CA_FILE");
}
#endif
}  // namespace

std::optional<LumoEnvironment> lumoEnvironmentFromRaw(int raw) {
  if (raw == 0) return LumoEnvironment::development;
  if (raw == 1) return LumoEnvironment::production;
  return std::nullopt;
}

std::string lumoBaseUrl(LumoEnvironment environment) {
  if (environment == LumoEnvironment::production) return kProductionBaseUrl;
  Development& d = development();
  std::lock_guard lock(d.mutex);
#if LUMO_DEVELOPMENT_OVERRIDES
  readEnvironmentLocked(d);
#endif
  return d.baseUrl.empty() ? kDevelopmentBaseUrl : d.baseUrl;
}

bool LumoSdk::setDevelopmentBackend(const std::string& baseUrl, const std::string& caFile) {
  Development& d = development();
  std::lock_guard lock(d.mutex);
  if (!nameLocked(d, baseUrl, caFile, "LumoSdk")) return false;
  d.named = true;
  return true;
}

void resetDevelopmentBackendForTesting() {
  Development& d = development();
  std::lock_guard lock(d.mutex);
  d.baseUrl.clear();
  d.named = false;
  d.environmentRead = false;
  platform::net::TrustStore::setHostCertificateFile("", "");
}

}  // namespace lumo
