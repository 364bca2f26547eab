#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "lumosdk/LumoExport.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"

namespace platform::foundation {
class KeyedArchive;
}

namespace lumo {

// The on-screen steering wheel of the control page's steering-wheel mode: one finger turns
// it between a quarter turn left and right, it springs back to the centre when the last
// finger lifts, taps the finger on touch, and reports every change of its angle as -1.0
// (full left) ... 1.0 (full right). A second finger freezes it until the count falls again.
// Main thread only.
class LUMO_EXPORT SteeringWheel : public platform::ui::View {
 public:
  using AngleListener = std::function<void(double normalisedAngle)>;

  static std::shared_ptr<SteeringWheel> make(const platform::ui::Rect& frame = {});
  static std::shared_ptr<SteeringWheel> make(const platform::foundation::KeyedArchive& archive);
  // Use make(): building the wheel's image view needs the finished object.
  explicit SteeringWheel(const platform::ui::Rect& frame);
  explicit SteeringWheel(const platform::foundation::KeyedArchive& archive);

  std::shared_ptr<platform::ui::Image> wheelImage() const { return wheelImage_; }
  void setWheelImage(std::shared_ptr<platform::ui::Image> image);
  const std::shared_ptr<platform::ui::ImageView>& steeringWheelImageView() const { return imageView_; }

  // Receives angle / (pi/2) on every change.
  AngleListener onAngleChanged;
  void setOnSteeringAngleChangeListener(AngleListener listener) { onAngleChanged = std::move(listener); }

  // Radians, -pi/2 ... pi/2, positive = clockwise.
  double angle() const { return angle_; }
  int pointerCount() const { return static_cast<int>(fingers_.size()); }
  bool isVibrationSupported() const { return vibrationSupported_; }

  // Lets go of every finger on the wheel and recentres it (reporting 0.0 when it was
  // turned). Fingers still on the glass are ignored until they lift; a new touch turns it
  // again. For owners that hide or leave the wheel while it may be held.
  void releaseTouches();

  void touchesBegan(const platform::ui::TouchSet& touches) override;
  void touchesMoved(const platform::ui::TouchSet& touches) override;
  void touchesEnded(const platform::ui::TouchSet& touches) override;
  void touchesCancelled(const platform::ui::TouchSet& touches) override;
  void handleTap();

 private:
  void setup();
  void checkVibrationAvailability() { vibrationSupported_ = true; }
  void vibrate();
  void handleRotation(const platform::ui::Touch& touch);
  void rotateWheel(double angle);
  void lift(const platform::ui::TouchSet& touches);
  platform::ui::Point offsetFromCentre(const platform::ui::Touch& touch) const;

  std::shared_ptr<platform::ui::ImageView> imageView_;
  double angle_ = 0;
  bool vibrationSupported_ = false;
  // The fingers counted on the wheel, by identity: a finger counts once however many times
  // it is reported, and one released by releaseTouches() no longer counts.
  std::vector<const platform::ui::Touch*> fingers_;
  std::shared_ptr<platform::ui::Image> wheelImage_;
};

}  // namespace lumo
