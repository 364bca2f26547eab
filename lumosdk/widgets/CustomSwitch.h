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

// The on/off switch of the control page's mode rows: a rounded track, a round thumb that
// slides between the ends, a short text on the free side and an optional tinted icon in the
// thumb. It is tapped or dragged, animates its thumb frame by frame on the display link,
// and sends the value-changed event exactly once per change made by the user or by setOn().
// Main thread only.
class LUMO_EXPORT CustomSwitch : public platform::ui::Control {
 public:
  using Color = platform::ui::Color;
  using Image = platform::ui::Image;

  static constexpr double DEFAULT_WIDTH = 58;
  static constexpr double DEFAULT_HEIGHT = 35;
  static constexpr double DEFAULT_TEXT_SIZE = 14;
  static constexpr double DEFAULT_ICON_PADDING = 4;
  static constexpr double kAnimationDuration = 0.15;
  static constexpr double kTouchSlop = 20;

  static std::shared_ptr<CustomSwitch> make(const platform::ui::Rect& frame = {});
  // Keys present in the archive replace the defaults; missing or mistyped ones keep them.
  static std::shared_ptr<CustomSwitch> make(const platform::foundation::KeyedArchive& archive);
  // Use make(): the layers and the icon view need the finished object.
  explicit CustomSwitch(const platform::ui::Rect& frame);
  explicit CustomSwitch(const platform::foundation::KeyedArchive& archive);
  ~CustomSwitch() override;
  void encode(platform::foundation::KeyedArchive& archive) const override;

  // ---- appearance; each change redraws at once
  virtual Color trackColorOn() const { return trackColorOn_; }
  virtual void setTrackColorOn(const Color& color);
  virtual Color trackColorOff() const { return trackColorOff_; }
  virtual void setTrackColorOff(const Color& color);
  virtual Color thumbColorOn() const { return thumbColorOn_; }
  virtual void setThumbColorOn(const Color& color);
  virtual Color thumbColorOff() const { return thumbColorOff_; }
  virtual void setThumbColorOff(const Color& color);
  virtual Color textColorOn() const { return textColorOn_; }
  virtual void setTextColorOn(const Color& color);
  virtual Color textColorOff() const { return textColorOff_; }
  virtual void setTextColorOff(const Color& color);
  virtual Color iconTintOn() const { return iconTintOn_; }
  virtual void setIconTintOn(const Color& color);
  virtual Color iconTintOff() const { return iconTintOff_; }
  virtual void setIconTintOff(const Color& color);
  virtual std::string textOn() const { return textOn_; }
  virtual void setTextOn(std::string text);
  virtual std::string textOff() const { return textOff_; }
  virtual void setTextOff(std::string text);
  virtual std::string iconOnName() const { return iconOnName_; }
  virtual void setIconOnName(std::string name) { setIconOn(std::move(name)); }
  virtual std::string iconOffName() const { return iconOffName_; }
  virtual void setIconOffName(std::string name) { setIconOff(std::move(name)); }
  virtual std::shared_ptr<Image> iconOn() const { return iconOn_; }
  virtual void setIconOnImage(std::shared_ptr<Image> image);
  virtual std::shared_ptr<Image> iconOff() const { return iconOff_; }
  virtual void setIconOffImage(std::shared_ptr<Image> image);
  virtual bool isOn() const { return isOn_; }
  // The property assignment: animates to the new state without a value-changed event.
  virtual void setIsOn(bool on);

  // ---- state changes that the user could have made
  virtual void toggle();
  // Sends one value-changed event when the state changes: at once without animation,
  // 0.15 s later (after the thumb arrived) with it.
  virtual void setOn(bool on, bool animated);
  virtual void setIconOn(std::string name);
  virtual void setIconOff(std::string name);
  // Stops a running animation where it is.
  virtual void resetAnimationState();

  // ---- read-outs
  double animationFraction() const { return animationFraction_; }
  bool isAnimating() const { return isAnimating_; }
  bool isDragging() const { return isDragging_; }
  double currentThumbCenterX() const { return currentThumbCenterX_; }
  const std::shared_ptr<platform::ui::ShapeLayer>& trackLayer() const { return trackLayer_; }
  const std::shared_ptr<platform::ui::ShapeLayer>& thumbLayer() const { return thumbLayer_; }
  const std::shared_ptr<platform::ui::TextLayer>& textLayer() const { return textLayer_; }
  const std::shared_ptr<platform::ui::ImageView>& iconImageView() const { return iconImageView_; }

  platform::ui::Size intrinsicContentSize() const override { return {switchWidth_, switchHeight_}; }
  void layoutSubviews() override;
  bool beginTracking(const platform::ui::Touch& touch) override;
  bool continueTracking(const platform::ui::Touch& touch) override;
  void endTracking(const platform::ui::Touch* touch) override;
  void cancelTracking() override;

  // One frame of the thumb animation (the display link calls it).
  void updateAnimationProgress();
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
  // Template copies made once per icon, so that a frame allocates no image.
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
  // The parent whose interaction this switch turned off for a drag, to turn it back on.
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
