#include "sim/vehicle/VehicleModel.h"

#include <algorithm>
#include <cmath>

namespace sim {

void VehicleModel::step(double seconds, int throttle, int brake, int steering) {
  constexpr double kAcceleration = 1.5;  // m/s² at full throttle
  constexpr double kBraking = 4.0;       // m/s² at full brake
  constexpr double kMaxWheelAngle = 0.5; // radians at full lock
  steeringAngle_ = kMaxWheelAngle * std::clamp(steering, -100, 100) / 100.0;
  speed_ += kAcceleration * std::clamp(throttle, -30, 30) / 30.0 * seconds;
  // Brakes slow the vehicle towards rest and never push it the other way.
  double slowdown = kBraking * std::clamp(brake, 0, 30) / 30.0 * seconds;
  if (speed_ > 0) speed_ = std::max(0.0, speed_ - slowdown);
  if (speed_ < 0) speed_ = std::min(0.0, speed_ + slowdown);
  speed_ = std::clamp(speed_, -kMaxSpeed, kMaxSpeed);
  heading_ += speed_ * std::tan(steeringAngle_) / kWheelBase * seconds;
  x_ += speed_ * std::cos(heading_) * seconds;
  y_ += speed_ * std::sin(heading_) * seconds;
}

}  // namespace sim
