#include "platform/ble/bluez/BluezObjects.h"

#include <algorithm>
#include <array>
#include <limits>

namespace platform::ble::bluez {

namespace {

int clampRssi(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int16_t>::min(),
                                                   std::numeric_limits<std::int16_t>::max()));
}

std::uint8_t propertiesFromFlags(const std::vector<std::string>& flags) {
  std::uint8_t bits = 0;
  for (const auto& flag : flags) {
    if (flag == "broadcast") bits |= property::broadcast;
    if (flag == "read") bits |= property::read;
    if (flag == "write-without-response") bits |= property::writeWithoutResponse;
    if (flag == "write") bits |= property::write;
    if (flag == "notify") bits |= property::notify;
    if (flag == "indicate") bits |= property::indicate;
  }
  return bits;
}

std::optional<Uuid> uuidOf(const BluezProperties& properties) {
  auto text = read<std::string>(properties, "UUID");
  return text ? Uuid::fromString(*text) : std::nullopt;
}

}  // namespace

bool isBluezPath(const std::string& path) {
  static const std::string root = "/org/bluez/";
  if (path.size() <= root.size() || path.compare(0, root.size(), root) != 0 || path.back() == '/') return false;
  char previous = '/';
  for (std::size_t i = root.size(); i < path.size(); ++i) {
    char c = path[i];
    bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!word && !(c == '/' && previous != '/')) return false;
    previous = c;
  }
  return true;
}

Parsed<BluezAdapterRecord> parseAdapter(const std::string& path, const BluezProperties& properties) {
  if (!isBluezPath(path)) return "adapter at an unexpected path " + path;
  auto powered = read<bool>(properties, "Powered");
  if (!powered) return "adapter " + path + " without a boolean Powered";
  return BluezAdapterRecord{*powered};
}

Parsed<BluezDeviceRecord> parseDevice(const std::string& path, const BluezProperties& properties) {
  if (!isBluezPath(path)) return "device at an unexpected path " + path;
  auto address = read<std::string>(properties, "Address");
  if (!address) return "device " + path + " without a text Address";
  BluezDeviceRecord device;
  device.address = *address;
  std::string refused = applyDeviceChanges(device, properties, {});
  if (!refused.empty()) return "device " + path + " with wrong types for" + refused;
  return device;
}

std::string applyDeviceChanges(BluezDeviceRecord& device, const BluezProperties& changed,
                               const std::vector<std::string>& invalidated) {
  std::string refused;
  auto take = [&](const char* name, auto apply, auto typeTag) {
    using T = decltype(typeTag);
    if (hasWrongType<T>(changed, name)) {
      refused += std::string(" ") + name;
    } else if (auto value = read<T>(changed, name)) {
      apply(*value);
    }
  };
  take("Name", [&](const std::string& value) { device.name = value; }, std::string{});
  take("RSSI", [&](std::int64_t value) { device.rssi = clampRssi(value); }, std::int64_t{});
  take("Connected", [&](bool value) { device.connected = value; }, bool{});
  take("ServicesResolved", [&](bool value) { device.servicesResolved = value; }, bool{});
  for (const auto& name : invalidated) {
    if (name == "RSSI") device.rssi.reset();
    if (name == "Name") device.name.reset();
  }
  return refused;
}

Parsed<BluezServiceRecord> parseService(const std::string& path, const BluezProperties& properties) {
  if (!isBluezPath(path)) return "service at an unexpected path " + path;
  auto uuid = uuidOf(properties);
  auto device = read<std::string>(properties, "Device");
  if (!uuid || !device) return "service " + path + " without a valid UUID and Device";
  if (path.compare(0, device->size() + 1, *device + "/") != 0) return "service " + path + " outside its device";
  return BluezServiceRecord{*device, *uuid};
}

Parsed<BluezCharacteristicRecord> parseCharacteristic(const std::string& path, const BluezProperties& properties) {
  if (!isBluezPath(path)) return "characteristic at an unexpected path " + path;
  auto uuid = uuidOf(properties);
  auto service = read<std::string>(properties, "Service");
  auto flags = read<std::vector<std::string>>(properties, "Flags");
  if (!uuid || !service || !flags) return "characteristic " + path + " without a valid UUID, Service and Flags";
  if (path.compare(0, service->size() + 1, *service + "/") != 0) {
    return "characteristic " + path + " outside its service";
  }
  BluezCharacteristicRecord record{*service, *uuid, propertiesFromFlags(*flags), std::nullopt, false};
  if (auto mtu = read<std::int64_t>(properties, "MTU"); mtu && *mtu >= 23 && *mtu <= 517) {
    record.mtu = static_cast<int>(*mtu);
  }
  record.offersAcquireWrite = properties.count("WriteAcquired") > 0;
  return record;
}

Uuid identifierFor(const std::string& adapterPath, const std::string& address) {
  // Two FNV-1a passes with different seeds fill the 128 bits.
  auto fnv = [](const std::string& text, std::uint64_t hash) {
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    return hash;
  };
  std::string key = adapterPath + "|" + address;
  std::uint64_t high = fnv(key, 14695981039346656037ull);
  std::uint64_t low = fnv(key, high ^ 0x9e3779b97f4a7c15ull);
  std::array<std::uint8_t, 16> bytes{};
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<std::uint8_t>(high >> (56 - 8 * i));
    bytes[8 + i] = static_cast<std::uint8_t>(low >> (56 - 8 * i));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4 layout, as the phone's
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  return Uuid(bytes);
}

}  // namespace platform::ble::bluez
