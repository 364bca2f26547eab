#pragma once

#include "sim/backend/BackendSimulator.h"

namespace demo {

// The host's compiled-in development values: the demo app, user and vehicle that the backend
// simulator's demo world knows, so a fresh start works without typing anything.
struct DemoDefaults {
  static constexpr const char* kAppKey = sim::BackendSimulator::kDemoAppKey;
  static constexpr const char* kUserToken = sim::BackendSimulator::kDemoToken;
  static constexpr const char* kVin = sim::BackendSimulator::kDemoVin;
};

}  // namespace demo
