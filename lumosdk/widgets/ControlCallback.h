#pragma once

#include "lumosdk/LumoExport.h"

namespace lumo {

// Receiver of the direction input's events (pads and steering wheel); the control page
// implements it to set its throttle and steering inputs. Called on the main thread.
class LUMO_EXPORT ControlCallback {
 public:
  virtual ~ControlCallback() = default;
  virtual void onForwardSelect() = 0;
  virtual void onForwardRelease() = 0;
  virtual void onBackSelect() = 0;
  virtual void onBackRelease() = 0;
  virtual void onLeftSelect() = 0;
  virtual void onLeftRelease() = 0;
  virtual void onRightSelect() = 0;
  virtual void onRightRelease() = 0;
  // angle in -1.0 (full left) ... 1.0 (full right)
  virtual void onSteeringWheelAngleChanged(float angle) = 0;
};

}  // namespace lumo
