#pragma once

#include <cstdint>
#include <optional>

#include "platform/foundation/Bytes.h"

namespace sim {

// The vehicle's side of the frame protocol, written apart from the SDK's codec so the
// simulator checks the phone instead of agreeing with it by construction.
struct ControlFrame {
  bool enableCmd = false;
  bool enableAntiCollision = false;
  int throttle = 0;   // -30..30
  int brake = 0;      // 0..30
  int steering = 0;   // -100..100, as the driver meant it (the wire carries it negated)
  std::uint16_t tick = 0;
};

struct StateFrame {
  std::uint8_t driveMode = 0;
  bool canControl = false;
  bool antiCollision = false;
  std::uint8_t echoedTick = 0;
  std::uint8_t rollingNumber = 0;
};

class VehicleFrames {
 public:
  // Accepts exactly 8 bytes plus 0x0D 0x0A with a correct plain-sum checksum.
  static std::optional<ControlFrame> parseControl(const platform::Bytes& wire);
  // 8 bytes closed by the one's complement of the sum of bytes 0-6.
  static platform::Bytes buildState(const StateFrame& state);
  // A control frame as the phone would send it (for tests of the simulator itself).
  static platform::Bytes buildControl(const ControlFrame& frame);
};

}  // namespace sim
