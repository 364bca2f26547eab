#pragma once

#include <optional>

#include "lumosdk/LumoExport.h"

namespace lumo {

/// The state the BLE manager last reported for a peripheral.
enum class LumoBluetoothConnectionState : int { disconnected = 0, connecting = 1, connected = 2, disconnecting = 3 };

/// The adapter as the SDK sees it; `reserved` exists for compatibility and is never produced.
enum class LumoBluetoothAdapterState : int { unknown = 0, poweredOff = 1, poweredOn = 2, resetting = 3, reserved = 4 };

/// Connection priority classes; kept for hosts, no SDK operation takes one.
enum class LumoConnectionPriority : int { balanced = 0, high = 1, lowPower = 2 };

/// The connection state for a raw value, or nothing outside 0 to 3 (construction from a raw
/// value yields nothing outside an enumeration's range).
LUMO_EXPORT std::optional<LumoBluetoothConnectionState> connectionStateFromRaw(int raw);
/// The adapter state for a raw value, or nothing outside 0 to 4.
LUMO_EXPORT std::optional<LumoBluetoothAdapterState> adapterStateFromRaw(int raw);
/// The priority for a raw value, or nothing outside 0 to 2.
LUMO_EXPORT std::optional<LumoConnectionPriority> connectionPriorityFromRaw(int raw);

}  // namespace lumo
