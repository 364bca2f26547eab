#include "platform/net/TrustStore.h"

#include <curl/curl.h>

#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

namespace platform::net {

namespace {

constexpr const char* kPemBegin = "-----BEGIN CERTIFICATE-----";

struct State {
  std::mutex mutex;
  std::string added;
  std::shared_ptr<const std::string> bundle;
  // The host-scoped certificates, the one host they are trusted for, and the bundle for it.
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

}  // namespace

bool TrustStore::addTrustedCertificateFile(const std::string& path) {
  State& s = state();
  auto pem = readPem(path);
  if (!pem) return false;
  std::lock_guard lock(s.mutex);
  s.added += *pem;
  rebuildLocked(s);
  return true;
}

bool TrustStore::setHostCertificateFile(const std::string& host, const std::string& path) {
  State& s = state();
  std::optional<std::string> pem;
  if (!path.empty()) {
    pem = readPem(path);
    if (!pem || host.empty()) return false;
  }
  std::lock_guard lock(s.mutex);
  s.developmentAdded = pem.value_or(std::string());
  s.developmentHost = pem ? host : std::string();
  rebuildLocked(s);
  return true;
}

std::shared_ptr<const std::string> TrustStore::bundleFor(const std::string& host) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return !s.developmentAdded.empty() && host == s.developmentHost ? s.developmentBundle : s.bundle;
}

void TrustStore::resetForTesting() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.added.clear();
  s.bundle.reset();
  s.developmentAdded.clear();
  s.developmentHost.clear();
  s.developmentBundle.reset();
}

}  // namespace platform::net
