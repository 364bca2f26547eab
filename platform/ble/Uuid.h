#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/PlatformExport.h"

namespace platform::ble {

// A Bluetooth UUID (CBUUID) or a peripheral identifier (NSUUID): 128 bits. 16- and 32-bit
// forms stand for the Bluetooth base UUID with those bits filled in.
class LUMO_PLATFORM_EXPORT Uuid {
 public:
  Uuid() = default;
  explicit Uuid(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

  // Accepts "180D", "0000180D" or "0000180D-0000-1000-8000-00805F9B34FB" (any letter case).
  static std::optional<Uuid> fromString(std::string_view text);
  // The 16-bit short form on the Bluetooth base UUID.
  static Uuid fromShort(std::uint16_t value);
  // A version-4 style identifier made from a counter, so simulated runs are repeatable.
  static Uuid fromSequence(std::uint64_t sequence);

  // CBUUID's text: the short form for base-UUID values, else the full upper-case form.
  std::string uuidString() const;
  // NSUUID's text: always 36 upper-case characters with hyphens.
  std::string fullString() const;

  const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }
  bool isNull() const;

  friend bool operator==(const Uuid&, const Uuid&) = default;
  friend auto operator<=>(const Uuid&, const Uuid&) = default;

 private:
  std::array<std::uint8_t, 16> bytes_{};
};

struct LUMO_PLATFORM_EXPORT UuidHash {
  std::size_t operator()(const Uuid& uuid) const noexcept;
};

}  // namespace platform::ble
