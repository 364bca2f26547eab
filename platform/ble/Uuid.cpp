#include "platform/ble/Uuid.h"

#include <cctype>

namespace platform::ble {
namespace {

// 0000xxxx-0000-1000-8000-00805F9B34FB
constexpr std::array<std::uint8_t, 16> kBase = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                0x80, 0x00, 0x00, 0x80, 0x5F, 0x9B, 0x34, 0xFB};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendHex(std::string& out, std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out.push_back(kDigits[byte >> 4]);
  out.push_back(kDigits[byte & 0x0F]);
}

}  // namespace

std::optional<Uuid> Uuid::fromString(std::string_view text) {
  std::string digits;
  if (text.size() == 4 || text.size() == 8) {
    digits = std::string(8 - text.size(), '0') + std::string(text);
  } else if (text.size() == 36) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
      if (hyphenPlace != (text[i] == '-')) return std::nullopt;
      if (!hyphenPlace) digits.push_back(text[i]);
    }
  } else {
    return std::nullopt;
  }
  std::array<std::uint8_t, 16> bytes = kBase;
  for (std::size_t i = 0; i < digits.size() / 2; ++i) {
    int high = hexValue(digits[2 * i]);
    int low = hexValue(digits[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return Uuid(bytes);
}

Uuid Uuid::fromShort(std::uint16_t value) {
  std::array<std::uint8_t, 16> bytes = kBase;
  bytes[2] = static_cast<std::uint8_t>(value >> 8);
  bytes[3] = static_cast<std::uint8_t>(value & 0xFF);
  return Uuid(bytes);
}

Uuid Uuid::fromSequence(std::uint64_t sequence) {
  std::array<std::uint8_t, 16> bytes{};
  // A fixed prefix keeps identifiers looking like real random ones without being random.
  constexpr std::array<std::uint8_t, 8> kPrefix = {0x5A, 0x1E, 0x7C, 0x3D, 0x9B, 0x42, 0x4E, 0x0F};
  for (std::size_t i = 0; i < 8; ++i) bytes[i] = kPrefix[i];
  for (std::size_t i = 0; i < 8; ++i) bytes[15 - i] = static_cast<std::uint8_t>(sequence >> (8 * i));
  bytes[6] = static_cast<std::uint8_t>(0x40 | (bytes[6] & 0x0F));
  bytes[8] = static_cast<std::uint8_t>(0x80 | (bytes[8] & 0x3F));
  return Uuid(bytes);
}

std::string Uuid::fullString() const {
  std::string out;
  out.reserve(36);
  for (std::size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
    appendHex(out, bytes_[i]);
  }
  return out;
}

std::string Uuid::uuidString() const {
  bool onBase = true;
  for (std::size_t i = 4; i < 16; ++i) onBase = onBase && bytes_[i] == kBase[i];
  if (!onBase) return fullString();
  std::string out;
  if (bytes_[0] != 0 || bytes_[1] != 0) {
    appendHex(out, bytes_[0]);
    appendHex(out, bytes_[1]);
  }
  appendHex(out, bytes_[2]);
  appendHex(out, bytes_[3]);
  return out;
}

bool Uuid::isNull() const {
  for (auto byte : bytes_) {
    if (byte != 0) return false;
  }
  return true;
}

std::size_t UuidHash::operator()(const Uuid& uuid) const noexcept {
  std::size_t hash = 1469598103934665603ull;
  for (auto byte : uuid.bytes()) hash = (hash ^ byte) * 1099511628211ull;
  return hash;
}

}  // namespace platform::ble
