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

/// The on-screen steering wheel of the control page's steering-wheel mode: one finger turns
/// it between a quarter turn left and right, it springs back to the centre when the last
/// finger lifts, taps the finger on touch, and reports every change of its angle as -1.0
/// (full left) ... 1.0 (full right). A second finger freezes it until the count falls again.
/// Main thread only.
class LUMO_EXPORT SteeringWheel : public platform::ui::View {
 public:
  /// Receives the normalised angle, -1.0 (full left) ... 1.0 (full right), on the main thread.
  using AngleListener = std::function<void(double normalisedAngle)>;

  /// A wheel in `frame`, drawn with the SDK's steering wheel image.
  static std::shared_ptr<SteeringWheel> make(const platform::ui::Rect& frame = {});
  /// A wheel decoded from an archived view.
  static std::shared_ptr<SteeringWheel> make(const platform::foundation::KeyedArchive& archive);
  /// Use make(): building the wheel's image view needs the finished object.
  explicit SteeringWheel(const platform::ui::Rect& frame);
  /// Use make(archive).
  explicit SteeringWheel(const platform::foundation::KeyedArchive& archive);

  /// The image the wheel shows.
  std::shared_ptr<platform::ui::Image> wheelImage() const { return wheelImage_; }
  /// Replaces the image the wheel shows.
  void setWheelImage(std::shared_ptr<platform::ui::Image> image);
  /// The image view that turns.
  const std::shared_ptr<platform::ui::ImageView>& steeringWheelImageView() const { return imageView_; }

  /// Receives angle / (pi/2) on every change.
  AngleListener onAngleChanged;
  /// Replaces onAngleChanged.
  void setOnSteeringAngleChangeListener(AngleListener listener) { onAngleChanged = std::move(listener); }

  /// Radians, -pi/2 ... pi/2, positive = clockwise.
  double angle() const { return angle_; }
  /// Fingers on the wheel now.
  int pointerCount() const { return static_cast<int>(fingers_.size()); }
  /// Whether touches tap the haptic engine.
  bool isVibrationSupported() const { return vibrationSupported_; }

  /// Lets go of every finger on the wheel and recentres it (reporting 0.0 when it was
  /// turned). Fingers still on the glass are ignored until they lift; a new touch turns it
  /// again. For owners that hide or leave the wheel while it may be held.
  void releaseTouches();

  /// A finger down is counted; a single finger taps the haptic engine, and one below the centre
  /// turns the wheel at once to the lock on its side (one above waits until it moves).
  void touchesBegan(const platform::ui::TouchSet& touches) override;
  /// With one finger down, turns the wheel to follow it.
  void touchesMoved(const platform::ui::TouchSet& touches) override;
  /// Fingers lifted: when none is left, the wheel springs back to the centre (reporting 0.0).
  void touchesEnded(const platform::ui::TouchSet& touches) override;
  /// As touchesEnded.
  void touchesCancelled(const platform::ui::TouchSet& touches) override;
  /// A tap on the wheel: a haptic tap.
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
  /// The fingers counted on the wheel, by identity: a finger counts once however many times
  /// it is reported, and one released by releaseTouches() no longer counts.
  std::vector<const platform::ui::Touch*> fingers_;
  std::shared_ptr<platform::ui::Image> wheelImage_;
};

}  // namespace lumo
