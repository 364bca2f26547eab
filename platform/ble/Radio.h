#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/PlatformExport.h"
#include "platform/ble/CentralManager.h"

namespace platform::ble {

class SimulatedRadio;

// The Bluetooth back-ends a process can use.
enum class RadioKind { simulated, bluez };

// The one place that decides which Bluetooth back-end the process uses: the simulated radio
// unless LUMO_BLE=bluez is set or the host picks BlueZ in code.
class LUMO_PLATFORM_EXPORT Radio {
 public:
  // "sim" or "bluez"; anything else is no radio.
  static std::optional<RadioKind> kindNamed(std::string_view name);
  // The host's pick wins over LUMO_BLE; it applies to centrals made afterwards.
  static void useRadio(RadioKind kind);
  // The pick in force: the host's, else LUMO_BLE's (an unknown name falls back to the simulated
  // radio with a console line), else the simulated radio.
  static RadioKind kind();
  // Forgets the host's pick (tests).
  static void resetForTesting();

  // CBCentralManager(delegate:queue:nil options:): callbacks on the main queue.
  static std::shared_ptr<CentralManager> makeCentralManager(std::weak_ptr<CentralManagerDelegate> delegate,
                                                            CentralManagerOptions options = {});

  // Replaces the simulated world with a fresh one (adapter on, no devices) and returns it.
  // Centrals made before keep the old world.
  static std::shared_ptr<SimulatedRadio> useSimulatedRadio();
  // The simulated world in use, made on first use.
  static std::shared_ptr<SimulatedRadio> simulated();
};

}  // namespace platform::ble
