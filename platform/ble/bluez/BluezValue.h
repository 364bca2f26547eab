#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Bytes.h"

namespace platform::ble {

// A D-Bus property value as the BlueZ back-end reads it, copied out of the bus message on the
// bus thread so the main thread never touches sd-bus. Types the back-end has no use for
// arrive as std::monostate and read as absent.
using BluezValue = std::variant<std::monostate, bool, std::int64_t, std::string, Bytes, std::vector<std::string>>;
using BluezProperties = std::map<std::string, BluezValue>;
// interface name -> its properties
using BluezInterfaces = std::map<std::string, BluezProperties>;

namespace bluez {
inline constexpr const char* kService = "org.bluez";
inline constexpr const char* kAdapter = "org.bluez.Adapter1";
inline constexpr const char* kDevice = "org.bluez.Device1";
inline constexpr const char* kGattService = "org.bluez.GattService1";
inline constexpr const char* kGattCharacteristic = "org.bluez.GattCharacteristic1";

// Typed reads: absent when the property is missing or has another type.
template <typename T>
std::optional<T> read(const BluezProperties& properties, const std::string& name) {
  auto it = properties.find(name);
  if (it == properties.end()) return std::nullopt;
  if (const T* value = std::get_if<T>(&it->second)) return *value;
  return std::nullopt;
}

// Whether the property is present but of a type other than T (a malformed object).
template <typename T>
bool hasWrongType(const BluezProperties& properties, const std::string& name) {
  auto it = properties.find(name);
  return it != properties.end() && !std::holds_alternative<T>(it->second);
}
}  // namespace bluez

}  // namespace platform::ble
