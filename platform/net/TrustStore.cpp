#include "platform/net/TrustStore.h"

#include <curl/curl.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/foundation/SystemLog.h"
#include "platform/net/Url.h"

namespace platform::net {

namespace {

constexpr const char* kPemBegin = "-----BEGIN CERTIFICATE-----";

struct State {
  std::mutex mutex;
  bool environmentRead = false;
  std::string added;
  std::shared_ptr<const std::string> bundle;
  // The development override: its certificates, the one host they are trusted for, and
  // the bundle for that host.
  std::string developmentAdded;
  std::string developmentHost;
  std::shared_ptr<const std::string> developmentBundle;
};

State& state() {
  static State* instance = new State;  // never destroyed: transfers may run during exit
  return *instance;
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

std::string systemBundle() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  if (info == nullptr || info->cainfo == nullptr) return {};
  return readFile(info->cainfo).value_or(std::string());
}

void rebuildLocked(State& s) {
  const std::string system = (s.added.empty() && s.developmentAdded.empty()) ? std::string() : systemBundle();
  s.bundle = s.added.empty() ? nullptr : std::make_shared<const std::string>(system + s.added);
  s.developmentBundle = s.developmentAdded.empty()
                            ? s.bundle
                            : std::make_shared<const std::string>(system + s.added + s.developmentAdded);
}

std::optional<std::string> readPem(const std::string& path) {
  auto text = readFile(path);
  if (!text || text->find(kPemBegin) == std::string::npos) return std::nullopt;
  return "\n" + *text + "\n";
}

// The host a development override of the backend names, as an https URL only.
std::string developmentHost() {
  const char* base = std::getenv("LUMO_DEV_BASE_URL");
  if (base == nullptr || *base == '\0') return "127.0.0.1";
  auto url = Url::parse(base);
  return url && url->scheme() == "https" ? url->host() : std::string("127.0.0.1");
}

void readEnvironmentLocked(State& s) {
  if (s.environmentRead) return;
  s.environmentRead = true;
#if LUMO_DEVELOPMENT_OVERRIDES
  const char* path = std::getenv("LUMO_TRUSTED_CA_FILE");
  if (path == nullptr || *path == '\0') return;
  auto pem = readPem(path);
  if (!pem) {
    foundation::SystemLog::error(std::string("TrustStore: LUMO_TRUSTED_CA_FILE holds no certificate: ") + path);
    return;
  }
  s.developmentAdded = *pem;
  s.developmentHost = developmentHost();
  rebuildLocked(s);
  foundation::SystemLog::error("TrustStore: development override active: LUMO_TRUSTED_CA_FILE=" + std::string(path) +
                               " is trusted for " + s.developmentHost + " only");
#endif
}

}  // namespace

bool TrustStore::addTrustedCertificateFile(const std::string& path) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  readEnvironmentLocked(s);
  auto pem = readPem(path);
  if (!pem) return false;
  s.added += *pem;
  rebuildLocked(s);
  return true;
}

std::shared_ptr<const std::string> TrustStore::bundleFor(const std::string& host) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  readEnvironmentLocked(s);
  return !s.developmentAdded.empty() && host == s.developmentHost ? s.developmentBundle : s.bundle;
}

void TrustStore::resetForTesting() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.environmentRead = false;
  s.added.clear();
  s.bundle.reset();
  s.developmentAdded.clear();
  s.developmentHost.clear();
  s.developmentBundle.reset();
}

}  // namespace platform::net
