#pragma once

#include <memory>

#include "platform/ble/CentralManager.h"

namespace platform::ble {

class SimulatedRadio;

// The one place that decides which Bluetooth back-end the process uses. Today that is the
// simulated radio (this machine has no Bluetooth); a BlueZ back-end would be chosen here.
class Radio {
 public:
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
