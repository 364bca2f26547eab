#pragma once

#include <string>

namespace sim {

// A vehicle the backend knows: what its endpoints report about it.
struct BackendVehicle {
  std::string vin;
  long long vehicleId = 0;
  std::string name;
  // The name the vehicle advertises over Bluetooth.
  std::string bleName;
  bool cabinetLocked = true;
};

}  // namespace sim
