#pragma once

#include <memory>
#include <string>

#include "lumosdk/LumoExport.h"
#include "platform/ui/Color.h"
#include "platform/ui/Control.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Layer.h"

namespace platform::foundation {
class KeyedArchive;
}

namespace lumo {

/// The on/off switch of the control page's mode rows: a rounded track, a round thumb that
/// slides between the ends, a short text on the free side and an optional tinted icon in the
/// thumb. It is tapped or dragged, animates its thumb frame by frame on the display link,
/// and sends the value-changed event exactly once per change made by the user or by setOn().
/// Main thread only.
class LUMO_EXPORT CustomSwitch : public platform::ui::Control {
 public:
  /// A colour of the platform.
  using Color = platform::ui::Color;
  /// An image of the platform.
  using Image = platform::ui::Image;

  /// Width in points when neither frame nor archive gives one.
  static constexpr double DEFAULT_WIDTH = 58;
  /// Height in points when neither frame nor archive gives one.
  static constexpr double DEFAULT_HEIGHT = 35;
  /// Text size in pixels.
  static constexpr double DEFAULT_TEXT_SIZE = 14;
  /// Space between the thumb and its icon, in points.
  static constexpr double DEFAULT_ICON_PADDING = 4;
  /// Seconds the thumb takes from one end to the other.
  static constexpr double kAnimationDuration = 0.15;
  /// Points a finger must move before a touch counts as a drag.
  static constexpr double kTouchSlop = 20;

  /// A switch in `frame` with the default look, off.
  static std::shared_ptr<CustomSwitch> make(const platform::ui::Rect& frame = {});
  /// Keys present in the archive replace the defaults; missing or mistyped ones keep them.
  static std::shared_ptr<CustomSwitch> make(const platform::foundation::KeyedArchive& archive);
  /// Use make(): the layers and the icon view need the finished object.
  explicit CustomSwitch(const platform::ui::Rect& frame);
  /// Use make(archive).
  explicit CustomSwitch(const platform::foundation::KeyedArchive& archive);
  /// Stops its display link.
  ~CustomSwitch() override;
  /// Writes the look and state under the keys that make(archive) reads.
  void encode(platform::foundation::KeyedArchive& archive) const override;

  // ---- appearance; each change redraws at once
  /// The track's colour while on.
  virtual Color trackColorOn() const { return trackColorOn_; }
  /// Sets the track's colour while on.
  virtual void setTrackColorOn(const Color& color);
  /// The track's colour while off.
  virtual Color trackColorOff() const { return trackColorOff_; }
  /// Sets the track's colour while off.
  virtual void setTrackColorOff(const Color& color);
  /// The thumb's colour while on.
  virtual Color thumbColorOn() const { return thumbColorOn_; }
  /// Sets the thumb's colour while on.
  virtual void setThumbColorOn(const Color& color);
  /// The thumb's colour while off.
  virtual Color thumbColorOff() const { return thumbColorOff_; }
  /// Sets the thumb's colour while off.
  virtual void setThumbColorOff(const Color& color);
  /// The text's colour while on.
  virtual Color textColorOn() const { return textColorOn_; }
  /// Sets the text's colour while on.
  virtual void setTextColorOn(const Color& color);
  /// The text's colour while off.
  virtual Color textColorOff() const { return textColorOff_; }
  /// Sets the text's colour while off.
  virtual void setTextColorOff(const Color& color);
  /// The icon's tint while on.
  virtual Color iconTintOn() const { return iconTintOn_; }
  /// Sets the icon's tint while on.
  virtual void setIconTintOn(const Color& color);
  /// The icon's tint while off.
  virtual Color iconTintOff() const { return iconTintOff_; }
  /// Sets the icon's tint while off.
  virtual void setIconTintOff(const Color& color);
  /// The text shown while on.
  virtual std::string textOn() const { return textOn_; }
  /// Sets the text shown while on.
  virtual void setTextOn(std::string text);
  /// The text shown while off.
  virtual std::string textOff() const { return textOff_; }
  /// Sets the text shown while off.
  virtual void setTextOff(std::string text);
  /// The SDK resource name of the thumb's icon while on; empty for none.
  virtual std::string iconOnName() const { return iconOnName_; }
  /// As setIconOn.
  virtual void setIconOnName(std::string name) { setIconOn(std::move(name)); }
  /// The SDK resource name of the thumb's icon while off; empty for none.
  virtual std::string iconOffName() const { return iconOffName_; }
  /// As setIconOff.
  virtual void setIconOffName(std::string name) { setIconOff(std::move(name)); }
  /// The thumb's icon while on, or null.
  virtual std::shared_ptr<Image> iconOn() const { return iconOn_; }
  /// Sets the thumb's icon while on from an image; the name stays as it was.
  virtual void setIconOnImage(std::shared_ptr<Image> image);
  /// The thumb's icon while off, or null.
  virtual std::shared_ptr<Image> iconOff() const { return iconOff_; }
  /// Sets the thumb's icon while off from an image; the name stays as it was.
  virtual void setIconOffImage(std::shared_ptr<Image> image);
  /// Whether the switch is on.
  virtual bool isOn() const { return isOn_; }
  /// The property assignment: animates to the new state without a value-changed event.
  virtual void setIsOn(bool on);

  // ---- state changes that the user could have made
  /// Flips the state as a tap does: animated, with one value-changed event.
  virtual void toggle();
  /// Sends one value-changed event when the state changes: at once without animation,
  /// 0.15 s later (after the thumb arrived) with it.
  virtual void setOn(bool on, bool animated);
  /// Loads the thumb's icon while on from the SDK's resources; a name that is not found leaves no icon.
  virtual void setIconOn(std::string name);
  /// Loads the thumb's icon while off from the SDK's resources; a name that is not found leaves no icon.
  virtual void setIconOff(std::string name);
  /// Stops a running animation where it is.
  virtual void resetAnimationState();

  // ---- read-outs
  /// Where the thumb is: 0 at the off end, 1 at the on end.
  double animationFraction() const { return animationFraction_; }
  /// Whether the thumb is moving.
  bool isAnimating() const { return isAnimating_; }
  /// Whether a finger drags the thumb.
  bool isDragging() const { return isDragging_; }
  /// The thumb's centre, in the switch's coordinates.
  double currentThumbCenterX() const { return currentThumbCenterX_; }
  /// The layer that draws the track.
  const std::shared_ptr<platform::ui::ShapeLayer>& trackLayer() const { return trackLayer_; }
  /// The layer that draws the thumb.
  const std::shared_ptr<platform::ui::ShapeLayer>& thumbLayer() const { return thumbLayer_; }
  /// The layer that draws the text.
  const std::shared_ptr<platform::ui::TextLayer>& textLayer() const { return textLayer_; }
  /// The view of the thumb's icon.
  const std::shared_ptr<platform::ui::ImageView>& iconImageView() const { return iconImageView_; }

  /// The switch's own size.
  platform::ui::Size intrinsicContentSize() const override { return {switchWidth_, switchHeight_}; }
  /// Places track, thumb, text and icon for the current bounds.
  void layoutSubviews() override;
  /// A finger down on the switch: the control tracks it; refused (false) while the thumb moves.
  bool beginTracking(const platform::ui::Touch& touch) override;
  /// A finger moved: beyond kTouchSlop the thumb follows it.
  bool continueTracking(const platform::ui::Touch& touch) override;
  /// A finger lifted: a tap toggles; a drag ends on the nearer side, with one value-changed event when that changes the state.
  void endTracking(const platform::ui::Touch* touch) override;
  /// The touch was cancelled: the thumb returns to the current state without an event.
  void cancelTracking() override;

  /// One frame of the thumb animation (the display link calls it).
  void updateAnimationProgress();
  /// The colour a fraction `t` (0 to 1) of the way from `from` to `to`.
  static Color interpolateColor(const Color& from, const Color& to, double t) {
    return Color::interpolate(from, to, t);
  }

 private:
  void setup();
  void updateGeometry();
  void updateThumb();
  void updateLayerProperties();
  void redraw();
  void animateThumb(bool on);
  void stopDisplayLink();
  void sendValueChanged();
  void finishDrag();
  static std::shared_ptr<Image> loadImage(const std::string& name);
  void iconsChanged();

  Color trackColorOn_ = Color::rgb255(0, 82, 217);
  Color trackColorOff_ = Color::rgb255(224, 224, 224);
  Color thumbColorOn_ = Color::white();
  Color thumbColorOff_ = Color::white();
  Color textColorOn_ = Color::white();
  Color textColorOff_ = Color::darkGray();
  Color iconTintOn_ = Color::rgb255(8, 85, 242);
  Color iconTintOff_ = Color::rgb255(133, 155, 199);
  std::string textOn_ = "开";
  std::string textOff_ = "关";
  std::string iconOnName_;
  std::string iconOffName_;
  std::shared_ptr<Image> iconOn_;
  std::shared_ptr<Image> iconOff_;
  /// Template copies made once per icon, so that a frame allocates no image.
  std::shared_ptr<Image> iconOnTemplate_;
  std::shared_ptr<Image> iconOffTemplate_;
  bool isOn_ = false;

  std::shared_ptr<platform::ui::ShapeLayer> trackLayer_;
  std::shared_ptr<platform::ui::ShapeLayer> thumbLayer_;
  std::shared_ptr<platform::ui::TextLayer> textLayer_;
  std::shared_ptr<platform::ui::ImageView> iconImageView_;
  double thumbRadius_ = DEFAULT_HEIGHT / 2;
  double thumbCenterXStart_ = DEFAULT_HEIGHT / 2;
  double thumbCenterXEnd_ = DEFAULT_WIDTH - DEFAULT_HEIGHT / 2;
  double currentThumbCenterX_ = DEFAULT_HEIGHT / 2;
  double switchWidth_ = DEFAULT_WIDTH;
  double switchHeight_ = DEFAULT_HEIGHT;
  double iconPadding_ = DEFAULT_ICON_PADDING;
  double animationFraction_ = 0;

  bool isDragging_ = false;
  double touchDownX_ = 0;
  double touchCurrentX_ = 0;
  double dragStartX_ = 0;
  double touchSlop_ = kTouchSlop;
  /// The parent whose interaction this switch turned off for a drag, to turn it back on.
  std::weak_ptr<platform::ui::View> blockedParent_;

  bool isBroadcasting_ = false;
  bool isRestoringState_ = false;

  bool isAnimating_ = false;
  std::shared_ptr<platform::ui::DisplayLink> displayLink_;
  double animationStartTime_ = 0;
  double animationStartFraction_ = 0;
  double animationTargetFraction_ = 0;
};

}  // namespace lumo
