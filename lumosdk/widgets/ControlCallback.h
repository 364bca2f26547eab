#pragma once

#include "lumosdk/LumoExport.h"

namespace lumo {

/// Receiver of the direction input's events (pads and steering wheel); the control page
/// implements it to set its throttle and steering inputs. Called on the main thread.
class LUMO_EXPORT ControlCallback {
 public:
  /// Implementations are owned by their users; the helper holds them weakly.
  virtual ~ControlCallback() = default;
  /// The forward pad was pressed.
  virtual void onForwardSelect() = 0;
  /// The forward pad was let go (also when the input is released on leaving or a mode switch).
  virtual void onForwardRelease() = 0;
  /// The back pad was pressed.
  virtual void onBackSelect() = 0;
  /// The back pad was let go.
  virtual void onBackRelease() = 0;
  /// The left pad was pressed (key mode).
  virtual void onLeftSelect() = 0;
  /// The left pad was let go.
  virtual void onLeftRelease() = 0;
  /// The right pad was pressed (key mode).
  virtual void onRightSelect() = 0;
  /// The right pad was let go.
  virtual void onRightRelease() = 0;
  /// angle in -1.0 (full left) ... 1.0 (full right)
  virtual void onSteeringWheelAngleChanged(float angle) = 0;
};

}  // namespace lumo
