#include "lumosdk/widgets/CustomSwitch.h"

#include <algorithm>
#include <cmath>

#include "lumosdk/widgets/ScaledResourceImage.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/ui/Screen.h"

namespace lumo {

using namespace platform::ui;
using platform::foundation::KeyedArchive;

namespace {

Color toColor(const KeyedArchive::ColorComponents& c) { return {c.red, c.green, c.blue, c.alpha}; }
KeyedArchive::ColorComponents toComponents(const Color& c) { return {c.red, c.green, c.blue, c.alpha}; }

}  // namespace

std::shared_ptr<CustomSwitch> CustomSwitch::make(const Rect& frame) {
  auto view = std::make_shared<CustomSwitch>(frame);
  view->setup();
  view->setOn(view->isOn_, false);
  return view;
}

std::shared_ptr<CustomSwitch> CustomSwitch::make(const KeyedArchive& archive) {
  auto view = std::make_shared<CustomSwitch>(archive);
  view->setup();
  view->setOn(view->isOn_, false);
  view->isRestoringState_ = false;
  return view;
}

CustomSwitch::CustomSwitch(const Rect& frame) : Control(frame) {
  setUserInteractionEnabled(true);
  setBackgroundColor(Color::clear());
}

CustomSwitch::CustomSwitch(const KeyedArchive& archive) : Control(archive) {
  isRestoringState_ = true;
  if (auto v = archive.boolValue("isOn")) isOn_ = *v;
  if (auto c = archive.colorValue("trackColorOn")) trackColorOn_ = toColor(*c);
  if (auto c = archive.colorValue("trackColorOff")) trackColorOff_ = toColor(*c);
  if (auto c = archive.colorValue("thumbColorOn")) thumbColorOn_ = toColor(*c);
  if (auto c = archive.colorValue("thumbColorOff")) thumbColorOff_ = toColor(*c);
  if (auto c = archive.colorValue("textColorOn")) textColorOn_ = toColor(*c);
  if (auto c = archive.colorValue("textColorOff")) textColorOff_ = toColor(*c);
  if (auto s = archive.stringValue("textOn")) textOn_ = *s;
  if (auto s = archive.stringValue("textOff")) textOff_ = *s;
  if (auto s = archive.stringValue("iconOnName")) setIconOn(*s);
  if (auto s = archive.stringValue("iconOffName")) setIconOff(*s);
  setUserInteractionEnabled(true);
  setBackgroundColor(Color::clear());
}

CustomSwitch::~CustomSwitch() {
  if (displayLink_) displayLink_->invalidate();
}

void CustomSwitch::encode(KeyedArchive& archive) const {
  Control::encode(archive);
  archive.encodeBool("isOn", isOn_);
  archive.encodeColor("trackColorOn", toComponents(trackColorOn_));
  archive.encodeColor("trackColorOff", toComponents(trackColorOff_));
  archive.encodeColor("thumbColorOn", toComponents(thumbColorOn_));
  archive.encodeColor("thumbColorOff", toComponents(thumbColorOff_));
  archive.encodeColor("textColorOn", toComponents(textColorOn_));
  archive.encodeColor("textColorOff", toComponents(textColorOff_));
  archive.encodeString("textOn", textOn_);
  archive.encodeString("textOff", textOff_);
  archive.encodeString("iconOnName", iconOnName_);
  archive.encodeString("iconOffName", iconOffName_);
}

void CustomSwitch::setup() {
  trackLayer_ = ShapeLayer::make();
  thumbLayer_ = ShapeLayer::make();
  textLayer_ = TextLayer::make();
  textLayer_->fontSize = DEFAULT_TEXT_SIZE;
  textLayer_->alignmentMode = TextAlignment::center;
  textLayer_->contentsScale = Screen::scale();
  layer()->addSublayer(trackLayer_);
  layer()->addSublayer(thumbLayer_);
  layer()->addSublayer(textLayer_);
  iconImageView_ = ImageView::make();
  iconImageView_->setContentMode(ContentMode::scaleAspectFit);
  addSubview(iconImageView_);
  updateGeometry();
}

// ---- geometry and drawing

void CustomSwitch::layoutSubviews() {
  Control::layoutSubviews();
  updateGeometry();
}

void CustomSwitch::updateGeometry() {
  double width = bounds().width(), height = bounds().height();
  if (width <= 0 || height <= 0 || !trackLayer_) return;
  trackLayer_->setFrame({0, 0, width, height});
  trackLayer_->path = Path::roundedRect({0, 0, width, height}, height / 2);
  thumbRadius_ = height / 2;
  thumbCenterXStart_ = height / 2;
  thumbCenterXEnd_ = width - thumbRadius_;
  redraw();
}

void CustomSwitch::updateThumb() {
  double span = thumbCenterXEnd_ - thumbCenterXStart_;
  double x = thumbCenterXStart_ + span * animationFraction_;
  // The easing overshoots: the thumb stays on the track, the colours may not.
  currentThumbCenterX_ = std::clamp(x, std::min(thumbCenterXStart_, thumbCenterXEnd_),
                                    std::max(thumbCenterXStart_, thumbCenterXEnd_));
  double height = bounds().height();
  thumbLayer_->setFrame({0, 0, bounds().width(), height});
  thumbLayer_->path = Path::ellipse(
      {currentThumbCenterX_ - thumbRadius_, height / 2 - thumbRadius_, 2 * thumbRadius_, 2 * thumbRadius_});
  double side = 2 * thumbRadius_ - 2 * iconPadding_;
  if (side > 0) iconImageView_->setFrame({currentThumbCenterX_ - side / 2, height / 2 - side / 2, side, side});
}

void CustomSwitch::updateLayerProperties() {
  double f = animationFraction_;
  double width = bounds().width(), height = bounds().height();
  trackLayer_->fillColor = interpolateColor(trackColorOff_, trackColorOn_, f);
  thumbLayer_->fillColor = interpolateColor(thumbColorOff_, thumbColorOn_, f);
  std::shared_ptr<Image> icon;
  Color tint;
  double textCenterX = 0;
  // The text sits on the side the thumb is not on and switches at the half-way point.
  if (f <= 0.5) {
    icon = iconOffTemplate_ ? iconOffTemplate_ : iconOnTemplate_;
    tint = iconTintOff_;
    textLayer_->string = textOff_;
    textLayer_->foregroundColor = textColorOff_;
    textCenterX = width - thumbRadius_;
  } else {
    icon = iconOnTemplate_;
    tint = iconTintOn_;
    textLayer_->string = textOn_;
    textLayer_->foregroundColor = textColorOn_;
    textCenterX = thumbRadius_;
  }
  iconImageView_->setImage(icon);
  iconImageView_->setTintColor(tint);
  double textWidth = std::max(30.0, width * 0.25), textHeight = height * 0.6;
  textLayer_->setFrame({textCenterX - textWidth / 2, height / 2 - textHeight / 2, textWidth, textHeight});
}

void CustomSwitch::redraw() {
  if (!trackLayer_ || bounds().width() <= 0 || bounds().height() <= 0) return;
  updateThumb();
  updateLayerProperties();
}

// ---- appearance

#define LUMO_SWITCH_SETTER(Name, field, Type) \
  void CustomSwitch::Name(Type value) {        \
    field = std::move(value);                  \
    redraw();                                  \
  }
LUMO_SWITCH_SETTER(setTrackColorOn, trackColorOn_, const Color&)
LUMO_SWITCH_SETTER(setTrackColorOff, trackColorOff_, const Color&)
LUMO_SWITCH_SETTER(setThumbColorOn, thumbColorOn_, const Color&)
LUMO_SWITCH_SETTER(setThumbColorOff, thumbColorOff_, const Color&)
LUMO_SWITCH_SETTER(setTextColorOn, textColorOn_, const Color&)
LUMO_SWITCH_SETTER(setTextColorOff, textColorOff_, const Color&)
LUMO_SWITCH_SETTER(setIconTintOn, iconTintOn_, const Color&)
LUMO_SWITCH_SETTER(setIconTintOff, iconTintOff_, const Color&)
LUMO_SWITCH_SETTER(setTextOn, textOn_, std::string)
LUMO_SWITCH_SETTER(setTextOff, textOff_, std::string)
#undef LUMO_SWITCH_SETTER

void CustomSwitch::setIconOnImage(std::shared_ptr<Image> image) {
  iconOn_ = std::move(image);
  iconsChanged();
}

void CustomSwitch::setIconOffImage(std::shared_ptr<Image> image) {
  iconOff_ = std::move(image);
  iconsChanged();
}

void CustomSwitch::iconsChanged() {
  auto asTemplate = [](const std::shared_ptr<Image>& image) {
    return image ? image->withRenderingMode(Image::RenderingMode::alwaysTemplate) : nullptr;
  };
  iconOnTemplate_ = asTemplate(iconOn_);
  iconOffTemplate_ = asTemplate(iconOff_);
  redraw();
}

void CustomSwitch::setIconOn(std::string name) {
  iconOnName_ = std::move(name);
  iconOn_ = loadImage(iconOnName_);
  iconsChanged();
}

void CustomSwitch::setIconOff(std::string name) {
  iconOffName_ = std::move(name);
  iconOff_ = loadImage(iconOffName_);
  iconsChanged();
}

std::shared_ptr<Image> CustomSwitch::loadImage(const std::string& name) {
  if (name.empty()) return nullptr;
  // The icon is drawn 27 points wide on a 3x screen: the dense variant keeps it sharp.
  return loadScaledResourceImage(name);
}

// ---- state

void CustomSwitch::setIsOn(bool on) {
  if (on == isOn_) return;
  isOn_ = on;
  if (!isRestoringState_) animateThumb(on);
}

void CustomSwitch::toggle() { setOn(!isOn_, true); }

void CustomSwitch::setOn(bool on, bool animated) {
  bool changed = on != isOn_;
  isOn_ = on;
  isDragging_ = false;
  if (!animated || isRestoringState_) {
    animationFraction_ = on ? 1 : 0;
    redraw();
    resetAnimationState();
    if (changed) sendValueChanged();
    return;
  }
  animateThumb(on);
  if (!changed || isBroadcasting_) return;
  std::weak_ptr<View> weak = weak_from_this();
  platform::dispatch::DispatchQueue::main()->asyncAfter(platform::dispatch::Seconds(kAnimationDuration), [weak] {
    if (auto self = std::static_pointer_cast<CustomSwitch>(weak.lock())) self->sendValueChanged();
  });
}

void CustomSwitch::sendValueChanged() {
  // A listener that changes the switch from its handler does not cause a nested event.
  if (isBroadcasting_) return;
  isBroadcasting_ = true;
  auto keep = shared_from_this();
  sendActions(ControlEvent::valueChanged);
  isBroadcasting_ = false;
}

void CustomSwitch::resetAnimationState() {
  isAnimating_ = false;
  stopDisplayLink();
}

void CustomSwitch::stopDisplayLink() {
  if (displayLink_) displayLink_->invalidate();
  displayLink_.reset();
}

// ---- animation

void CustomSwitch::animateThumb(bool on) {
  stopDisplayLink();
  double target = on ? 1 : 0;
  if (std::fabs(animationFraction_ - target) < 0.01) {
    animationFraction_ = target;
    isAnimating_ = false;
    redraw();
    return;
  }
  isAnimating_ = true;
  animationStartTime_ = mediaTime();
  animationStartFraction_ = animationFraction_;
  animationTargetFraction_ = target;
  std::weak_ptr<View> weak = weak_from_this();
  displayLink_ = DisplayLink::make([weak](DisplayLink&) {
    if (auto self = std::static_pointer_cast<CustomSwitch>(weak.lock())) self->updateAnimationProgress();
  });
  displayLink_->add();
}

void CustomSwitch::updateAnimationProgress() {
  double elapsed = mediaTime() - animationStartTime_;
  if (elapsed < kAnimationDuration) {
    double t = elapsed / kAnimationDuration;
    double p = t * (1 + 1.5 * (1 - t));  // a slight overshoot near the end
    animationFraction_ = animationStartFraction_ + p * (animationTargetFraction_ - animationStartFraction_);
    redraw();
    return;
  }
  stopDisplayLink();
  animationFraction_ = animationTargetFraction_;
  redraw();
  isAnimating_ = false;
}

// ---- touches

bool CustomSwitch::beginTracking(const Touch& touch) {
  if (isAnimating_) return false;
  touchDownX_ = touchCurrentX_ = touch.locationIn(this).x;
  isDragging_ = false;
  layer()->removeAllAnimations();
  return true;
}

bool CustomSwitch::continueTracking(const Touch& touch) {
  double x = touch.locationIn(this).x;
  touchCurrentX_ = x;
  if (!isDragging_ && std::fabs(x - touchDownX_) > touchSlop_) {
    isDragging_ = true;
    dragStartX_ = currentThumbCenterX_;
    // The parent (a scrolling row, say) must not take the gesture while the thumb follows.
    if (auto parent = superview(); parent && parent->isUserInteractionEnabled()) {
      parent->setUserInteractionEnabled(false);
      blockedParent_ = parent;
    }
  }
  if (isDragging_) {
    double start = thumbCenterXStart_, end = thumbCenterXEnd_;
    double centre = std::clamp(dragStartX_ + (x - touchDownX_), std::min(start, end), std::max(start, end));
    if (end - start <= 0) {
      animationFraction_ = centre == end ? 1 : 0;
    } else {
      animationFraction_ = (centre - start) / (end - start);
    }
    redraw();
  }
  return true;
}

void CustomSwitch::finishDrag() {
  isDragging_ = false;
  if (auto parent = blockedParent_.lock()) parent->setUserInteractionEnabled(true);
  blockedParent_.reset();
}

void CustomSwitch::endTracking(const Touch* touch) {
  bool wasDragging = isDragging_;
  finishDrag();
  if (isAnimating_) return;
  if (!touch) {
    animateThumb(isOn_);
    return;
  }
  double x = touch->locationIn(this).x;
  if (!wasDragging && std::fabs(x - touchDownX_) <= touchSlop_) {
    setOn(!isOn_, true);
  } else if (wasDragging) {
    bool newState = animationFraction_ >= 0.5;
    if (newState != isOn_) {
      setOn(newState, true);
    } else {
      animateThumb(isOn_);
    }
  } else {
    animateThumb(isOn_);
  }
}

void CustomSwitch::cancelTracking() {
  finishDrag();
  animateThumb(isOn_);
}

}  // namespace lumo
