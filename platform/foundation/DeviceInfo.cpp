#include "platform/foundation/DeviceInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <limits.h>
#include <mutex>
#include <random>

#include "platform/foundation/AppSandbox.h"
#include "platform/foundation/FileStore.h"
#include "platform/foundation/SystemLog.h"

namespace platform::foundation {
namespace {

std::string trimmed(std::string text) {
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  while (!text.empty() && isSpace(text.back())) text.pop_back();
  size_t start = 0;
  while (start < text.size() && isSpace(text[start])) ++start;
  return text.substr(start);
}

std::string randomUuidV4() {
  std::random_device device;  // the kernel's random source, not a seeded generator
  std::array<std::uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); i += 4) {
    std::uint32_t word = device();
    for (size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  std::string text;
  char hex[3];
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
    std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
    text += hex;
  }
  return text;
}

// The stored form, upper-cased; absent when the text is not a UUID.
std::optional<std::string> normalisedUuid(std::string text) {
  text = trimmed(std::move(text));
  if (text.size() != 36) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    text[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
  }
  return text;
}

std::mutex& nameOverrideMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

std::optional<std::string>& nameOverride() {
  static auto* name = new std::optional<std::string>;
  return *name;
}

}  // namespace

void DeviceInfo::setNameForTesting(std::optional<std::string> name) {
  std::lock_guard lock(nameOverrideMutex());
  nameOverride() = std::move(name);
}

const DeviceInfo& DeviceInfo::current() {
  static const DeviceInfo* device = new DeviceInfo;  // outlives static destructors
  return *device;
}

std::string DeviceInfo::model() const {
  filestore::ReadResult product = filestore::readWhole("/sys/devices/virtual/dmi/id/product_name", 4096);
  std::string text = product.status == filestore::ReadStatus::ok ? trimmed(product.contents) : "";
  return text.empty() ? "Linux PC" : text;
}

std::string DeviceInfo::name() const {
  {
    std::lock_guard lock(nameOverrideMutex());
    if (nameOverride()) return *nameOverride();
  }
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "localhost";
  return host;
}

std::string DeviceInfo::systemVersion() const {
  struct utsname system {};
  if (::uname(&system) != 0) return "";
  return system.release;
}

std::optional<std::string> DeviceInfo::identifierForVendor() const {
  auto library = AppSandbox::libraryDirectory();
  if (!library) return std::nullopt;
  if (!AppSandbox::preparePrivateFolder(*library)) return std::nullopt;
  const std::filesystem::path file = *library / "vendor-id";
  // Within the process, one thread makes the identifier; across processes, link() decides.
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  for (int attempt = 0; attempt < 3; ++attempt) {
    // A UUID and a line break; anything much longer is not ours.
    filestore::ReadResult stored = filestore::readPrivate(file, 4096);
    if (stored.status == filestore::ReadStatus::ok) {
      if (auto uuid = normalisedUuid(stored.contents)) return uuid;
      auto aside = filestore::setAside(file);
      SystemLog::error("DeviceInfo: damaged vendor identifier file " + file.string() +
                       (aside ? " set aside as " + aside->string() : " could not be set aside"));
      if (!aside) return std::nullopt;
      continue;
    }
    if (stored.status == filestore::ReadStatus::failed) {
      SystemLog::error("DeviceInfo: " + stored.error + " " + file.string());
      return std::nullopt;
    }
    std::string uuid = randomUuidV4();
    std::string error;
    if (filestore::createExclusively(file, uuid + "\n", &error)) return uuid;
    if (!error.empty()) {
      SystemLog::error("DeviceInfo: " + error + " " + file.string());
      return std::nullopt;
    }
    // Another process created it first: read theirs on the next pass.
  }
  return std::nullopt;
}

}  // namespace platform::foundation
