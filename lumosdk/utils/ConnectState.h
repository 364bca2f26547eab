#pragma once

#include <optional>
#include <string>

#include "lumosdk/LumoExport.h"

namespace lumo {

/// The vehicle link's progress as the control page sees it (BluetoothUtil::ConnectState).
enum class ConnectState : int {
  idle = 0,
  scanning = 1,
  connectingDevice = 2,
  linkConnected = 3,
  scanTimedOut = 4,
  connectTimedOut = 5,
};

/// The text shown to the user; empty for idle.
LUMO_EXPORT std::string getDesc(ConnectState state);
/// The case name, for log lines.
LUMO_EXPORT const char* connectStateName(ConnectState state);
/// Accepts 0 to 5.
LUMO_EXPORT std::optional<ConnectState> connectStateFromRaw(int raw);

}  // namespace lumo
