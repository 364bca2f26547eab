#include "platform/net/TrustStore.h"

#include <curl/curl.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

namespace platform::net {

namespace {

constexpr const char* kPemBegin = "-----BEGIN CERTIFICATE-----";

struct State {
  std::mutex mutex;
  bool environmentRead = false;
  std::string added;
  std::shared_ptr<const std::string> bundle;
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

bool addLocked(State& s, const std::string& path) {
  auto text = readFile(path);
  if (!text || text->find(kPemBegin) == std::string::npos) return false;
  s.added += "\n" + *text + "\n";
  s.bundle = std::make_shared<const std::string>(systemBundle() + s.added);
  return true;
}

void readEnvironmentLocked(State& s) {
  if (s.environmentRead) return;
  s.environmentRead = true;
  if (const char* path = std::getenv("LUMO_TRUSTED_CA_FILE"); path != nullptr && *path != '\0') {
    addLocked(s, path);
  }
}

}  // namespace

bool TrustStore::addTrustedCertificateFile(const std::string& path) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  readEnvironmentLocked(s);
  return addLocked(s, path);
}

std::shared_ptr<const std::string> TrustStore::bundleWithAddedCertificates() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  readEnvironmentLocked(s);
  return s.bundle;
}

void TrustStore::resetForTesting() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.environmentRead = false;
  s.added.clear();
  s.bundle.reset();
}

}  // namespace platform::net
