#pragma once

#include <memory>
#include <optional>
#include <string>

#include "sim/backend/BackendSimulator.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace demo {

// The world outside the phone that the demo talks to: by default the backend simulator in
// this process on a free loopback port (named to the SDK as its development backend, its
// certificate trusted for that host only; verification stays on) and the demo vehicle on the
// simulated radio. Alternatively a backend elsewhere, with an extra CA to trust for it.
// Make it after the clock is chosen: the vehicle runs timers.
class DemoWorld {
 public:
  struct Started {
    std::unique_ptr<DemoWorld> world;
    std::string error;  // why it could not start, when `world` is empty
  };
  static Started startEmbedded();
  static Started connectTo(const std::string& backendUrl, const std::optional<std::string>& caFile);
  ~DemoWorld();

  // The development environment's base URL the SDK now uses.
  const std::string& baseUrl() const { return baseUrl_; }
  // The embedded backend; none when the demo talks to another one.
  sim::BackendSimulator* backend() const { return backend_.get(); }
  sim::VehicleSimulator& vehicle() { return *vehicle_; }

 private:
  DemoWorld() = default;
  void addVehicle();
  bool pointSdkAt(std::string baseUrl, const std::string& caFile);

  std::string baseUrl_;
  std::unique_ptr<sim::BackendSimulator> backend_;
  std::unique_ptr<sim::VehicleSimulator> vehicle_;
};

}  // namespace demo
