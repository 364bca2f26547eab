#include "lumosdk/utils/LumoBluetoothTypes.h"

namespace lumo {

std::optional<LumoBluetoothConnectionState> connectionStateFromRaw(int raw) {
  if (raw < 0 || raw > 3) return std::nullopt;
  return static_cast<LumoBluetoothConnectionState>(raw);
}

std::optional<LumoBluetoothAdapterState> adapterStateFromRaw(int raw) {
  if (raw < 0 || raw > 4) return std::nullopt;
  return static_cast<LumoBluetoothAdapterState>(raw);
}

std::optional<LumoConnectionPriority> connectionPriorityFromRaw(int raw) {
  if (raw < 0 || raw > 2) return std::nullopt;
  return static_cast<LumoConnectionPriority>(raw);
}

}  // namespace lumo
