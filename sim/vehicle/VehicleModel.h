#pragma once

namespace sim {

// A simple kinematic vehicle: enough motion to show that throttle, brake and steering reach
// the wheels. Units: metres, seconds, radians; steering input -100..100 (positive = right).
class VehicleModel {
 public:
  void step(double seconds, int throttle, int brake, int steering);

  double speed() const { return speed_; }          // m/s, negative when reversing
  double steeringAngle() const { return steeringAngle_; }  // radians at the wheels
  double heading() const { return heading_; }      // radians, 0 = +x, clockwise positive
  double x() const { return x_; }
  double y() const { return y_; }
  bool doorOpen() const { return doorOpen_; }
  void setDoorOpen(bool open) { doorOpen_ = open; }

  static constexpr double kMaxSpeed = 3.0;
  static constexpr double kWheelBase = 1.2;

 private:
  double speed_ = 0;
  double steeringAngle_ = 0;
  double heading_ = 0;
  double x_ = 0;
  double y_ = 0;
  bool doorOpen_ = false;
};

}  // namespace sim
