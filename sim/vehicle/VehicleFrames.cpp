#include "sim/vehicle/VehicleFrames.h"

#include <algorithm>

namespace sim {
namespace {

std::uint8_t sum(const platform::Bytes& data, std::size_t count) {
  std::uint8_t total = 0;
  for (std::size_t i = 0; i < count; ++i) total = static_cast<std::uint8_t>(total + data[i]);
  return total;
}

}  // namespace

std::optional<ControlFrame> VehicleFrames::parseControl(const platform::Bytes& wire) {
  if (wire.size() != 10 || wire[8] != 0x0D || wire[9] != 0x0A) return std::nullopt;
  if (sum(wire, 7) != wire[7]) return std::nullopt;
  ControlFrame frame;
  frame.enableCmd = (wire[0] & 0x01) != 0;
  frame.enableAntiCollision = (wire[0] & 0x02) != 0;
  frame.throttle = std::clamp<int>(static_cast<std::int8_t>(wire[1]), -30, 30);
  frame.brake = std::clamp<int>(wire[2], 0, 30);
  frame.steering = std::clamp<int>(-static_cast<int>(static_cast<std::int8_t>(wire[3])), -100, 100);
  frame.tick = static_cast<std::uint16_t>((wire[4] << 8) | wire[5]);
  return frame;
}

platform::Bytes VehicleFrames::buildState(const StateFrame& state) {
  platform::Bytes frame(8, 0);
  frame[0] = state.driveMode;
  frame[1] = state.canControl ? 1 : 0;
  frame[2] = state.antiCollision ? 0x10 : 0x00;
  frame[5] = state.echoedTick;
  frame[6] = state.rollingNumber;
  frame[7] = static_cast<std::uint8_t>(~sum(frame, 7));
  return frame;
}

platform::Bytes VehicleFrames::buildControl(const ControlFrame& frame) {
  platform::Bytes wire(8, 0);
  wire[0] = static_cast<std::uint8_t>((frame.enableCmd ? 1 : 0) | (frame.enableAntiCollision ? 2 : 0));
  wire[1] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp(frame.throttle, -30, 30)));
  wire[2] = static_cast<std::uint8_t>(std::clamp(frame.brake, 0, 30));
  wire[3] = static_cast<std::uint8_t>(static_cast<std::int8_t>(-std::clamp(frame.steering, -100, 100)));
  wire[4] = static_cast<std::uint8_t>(frame.tick >> 8);
  wire[5] = static_cast<std::uint8_t>(frame.tick & 0xFF);
  wire[7] = sum(wire, 7);
  wire.push_back(0x0D);
  wire.push_back(0x0A);
  return wire;
}

}  // namespace sim
