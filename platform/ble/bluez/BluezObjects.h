#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include <vector>

#include "platform/ble/BleTypes.h"
#include "platform/ble/Uuid.h"
#include "platform/ble/bluez/BluezValue.h"

namespace platform::ble {

// The parts of org.bluez objects the back-end uses, read from their D-Bus properties. Each
// read checks paths and types and says what was wrong when an object cannot be used.
struct BluezAdapterRecord {
  bool powered = false;
};

struct BluezDeviceRecord {
  std::string address;
  std::optional<std::string> name;
  std::optional<int> rssi;
  bool connected = false;
  bool servicesResolved = false;
};

struct BluezServiceRecord {
  std::string device;  // object path
  Uuid uuid;
};

struct BluezCharacteristicRecord {
  std::string service;  // object path
  Uuid uuid;
  std::uint8_t properties = 0;
  std::optional<int> mtu;
  bool offersAcquireWrite = false;
};

namespace bluez {

// Either the record or the reason it was refused.
template <typename Record>
using Parsed = std::variant<Record, std::string>;

// Object paths of org.bluez live below "/org/bluez/" and use only [A-Za-z0-9_] between slashes.
bool isBluezPath(const std::string& path);

Parsed<BluezAdapterRecord> parseAdapter(const std::string& path, const BluezProperties& properties);
Parsed<BluezDeviceRecord> parseDevice(const std::string& path, const BluezProperties& properties);
Parsed<BluezServiceRecord> parseService(const std::string& path, const BluezProperties& properties);
Parsed<BluezCharacteristicRecord> parseCharacteristic(const std::string& path, const BluezProperties& properties);

// Applies a PropertiesChanged to a record; returns the names of properties refused for their type.
std::string applyDeviceChanges(BluezDeviceRecord& device, const BluezProperties& changed,
                               const std::vector<std::string>& invalidated);

// A stable identifier for a device, so the same device keeps its handle's identifier.
Uuid identifierFor(const std::string& adapterPath, const std::string& address);

}  // namespace bluez
}  // namespace platform::ble
