#pragma once

#include <any>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/PlatformExport.h"
#include "platform/foundation/Bytes.h"

namespace platform::ble {

// CBManagerState. Raw numbers are part of the contract; a back-end may report a value above
// poweredOn, which callers must treat as unknown.
enum class ManagerState : int {
  unknown = 0,
  resetting = 1,
  unsupported = 2,
  unauthorized = 3,
  poweredOff = 4,
  poweredOn = 5,
};

// CBPeripheralState.
enum class PeripheralState : int { disconnected = 0, connecting = 1, connected = 2, disconnecting = 3 };

// CBCharacteristicWriteType.
enum class WriteType : int { withResponse = 0, withoutResponse = 1 };

// CBCharacteristicProperties bits.
namespace property {
inline constexpr std::uint8_t broadcast = 0x01;
inline constexpr std::uint8_t read = 0x02;
inline constexpr std::uint8_t writeWithoutResponse = 0x04;
inline constexpr std::uint8_t write = 0x08;
inline constexpr std::uint8_t notify = 0x10;
inline constexpr std::uint8_t indicate = 0x20;
}  // namespace property

// An NSError as far as callers read it.
struct LUMO_PLATFORM_EXPORT Error {
  std::string localizedDescription;
};

// Advertisement data: keys as the platform names them, values of any type.
using AdvertisementData = std::map<std::string, std::any>;
inline constexpr const char* kAdvertisementLocalName = "kCBAdvDataLocalName";
inline constexpr const char* kAdvertisementIsConnectable = "kCBAdvDataIsConnectable";

struct LUMO_PLATFORM_EXPORT CentralManagerOptions {
  // CBCentralManagerOptionShowPowerAlertKey: whether the system offers to turn the adapter on.
  bool showPowerAlert = true;
};

struct LUMO_PLATFORM_EXPORT ScanOptions {
  // CBCentralManagerScanOptionAllowDuplicatesKey.
  bool allowDuplicates = false;
};

}  // namespace platform::ble
