#include "platform/ui/View.h"

#include <algorithm>
#include <cstdint>

#include "platform/foundation/KeyedArchive.h"
#include "platform/ui/Animator.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

Rect transformedFrame(Point center, Size size, const AffineTransform& t) {
  Rect local{-size.width / 2, -size.height / 2, size.width, size.height};
  if (t.isIdentity()) return local.offsetBy(center.x, center.y);
  return applyToRect(t, local).offsetBy(center.x, center.y);
}

// Shares `delta` among the flexible parts of one axis in proportion to their sizes.
void resizeAxis(double& before, double& size, double& after, bool flexBefore, bool flexSize, bool flexAfter,
                double delta) {
  double total = (flexBefore ? before : 0) + (flexSize ? size : 0) + (flexAfter ? after : 0);
  int count = int(flexBefore) + int(flexSize) + int(flexAfter);
  if (count == 0) return;
  auto share = [&](bool flex, double value) {
    if (!flex) return 0.0;
    return total > 0 ? delta * value / total : delta / count;
  };
  double db = share(flexBefore, before), ds = share(flexSize, size), da = share(flexAfter, after);
  before += db;
  size += ds;
  after += da;
}

}  // namespace

View::View(const Rect& frame) : layer_(Layer::make()) {
  layer_->owner_ = this;
  bounds_ = {0, 0, frame.width(), frame.height()};
  center_ = frame.center();
}

View::View(const foundation::KeyedArchive& archive) : View(Rect{}) {
  if (auto frame = archive.archiveValue("frame")) {
    setFrame({frame->decodeDouble("x"), frame->decodeDouble("y"), std::max(0.0, frame->decodeDouble("width")),
              std::max(0.0, frame->decodeDouble("height"))});
  }
  if (auto tag = archive.integerValue("tag"); tag && *tag >= INT32_MIN && *tag <= INT32_MAX) {
    tag_ = static_cast<int>(*tag);
  }
  alpha_ = std::clamp(archive.decodeDouble("alpha", 1.0), 0.0, 1.0);
  hidden_ = archive.decodeBool("hidden", false);
  userInteractionEnabled_ = archive.decodeBool("userInteractionEnabled", true);
  if (auto c = archive.colorValue("backgroundColor")) layer_->setBackgroundColor({c->red, c->green, c->blue, c->alpha});
}

void View::encode(foundation::KeyedArchive& archive) const {
  foundation::KeyedArchive frameArchive;
  Rect f = frame();
  frameArchive.encodeDouble("x", f.minX());
  frameArchive.encodeDouble("y", f.minY());
  frameArchive.encodeDouble("width", f.width());
  frameArchive.encodeDouble("height", f.height());
  archive.encodeArchive("frame", frameArchive);
  archive.encodeInteger("tag", tag_);
  archive.encodeDouble("alpha", alpha_);
  archive.encodeBool("hidden", hidden_);
  archive.encodeBool("userInteractionEnabled", userInteractionEnabled_);
  Color c = layer_->backgroundColor();
  archive.encodeColor("backgroundColor", {c.red, c.green, c.blue, c.alpha});
}

View::~View() {
  Animator::shared().forgetView(this);
  layer_->owner_ = nullptr;
}

Rect View::frame() const { return transformedFrame(center_, bounds_.size, transform_); }

void View::setFrame(const Rect& frame) {
  setCenter(frame.center());
  setBounds({bounds_.origin, frame.size});
}

void View::setBounds(const Rect& bounds) {
  Rect b{bounds.origin, {std::max(0.0, bounds.width()), std::max(0.0, bounds.height())}};
  auto& animator = Animator::shared();
  if (animator.isCapturing()) {
    auto from = Animator::pack(presentationBounds().size);
    if (from != Animator::pack(b.size)) animator.record(this, Animator::Property::boundsSize, from, Animator::pack(b.size));
  } else {
    animator.dropTrack(this, Animator::Property::boundsSize);
  }
  Size old = bounds_.size;
  bounds_ = b;
  if (old != b.size) {
    applyAutoresizing(old);
    setNeedsLayout();
  }
}

void View::setCenter(const Point& center) {
  auto& animator = Animator::shared();
  if (animator.isCapturing()) {
    auto from = Animator::pack(presentationCenter());
    if (from != Animator::pack(center)) animator.record(this, Animator::Property::center, from, Animator::pack(center));
  } else {
    animator.dropTrack(this, Animator::Property::center);
  }
  center_ = center;
}

void View::setTransform(const AffineTransform& transform) {
  auto& animator = Animator::shared();
  if (animator.isCapturing()) {
    auto from = Animator::pack(presentationTransform());
    if (from != Animator::pack(transform)) {
      animator.record(this, Animator::Property::transform, from, Animator::pack(transform));
    }
  } else {
    animator.dropTrack(this, Animator::Property::transform);
  }
  transform_ = transform;
}

void View::setAlpha(double alpha) {
  alpha = std::clamp(alpha, 0.0, 1.0);
  auto& animator = Animator::shared();
  if (animator.isCapturing()) {
    double from = presentationAlpha();
    if (from != alpha) animator.record(this, Animator::Property::alpha, Animator::pack(from), Animator::pack(alpha));
  } else {
    animator.dropTrack(this, Animator::Property::alpha);
  }
  alpha_ = alpha;
}

void View::setHidden(bool hidden) {
  bool hiding = hidden && !hidden_;
  hidden_ = hidden;
  // A hidden view can no longer be touched, so fingers on it are cancelled. Raw pointers:
  // a window hides itself while it is still being constructed.
  if (hiding) {
    View* root = this;
    for (auto up = superview_.lock(); up; up = up->superview_.lock()) root = up.get();
    if (auto* w = dynamic_cast<Window*>(root)) w->cancelTouches(this);
  }
}

void View::setBackgroundColor(const Color& color) {
  auto& animator = Animator::shared();
  if (animator.isCapturing()) {
    auto from = Animator::pack(presentationBackgroundColor());
    if (from != Animator::pack(color)) {
      animator.record(this, Animator::Property::backgroundColor, from, Animator::pack(color));
    }
  } else {
    animator.dropTrack(this, Animator::Property::backgroundColor);
  }
  layer_->setBackgroundColor(color);
}

Color View::tintColor() const {
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    if (v->tint_) return *v->tint_;
  }
  return Color::systemBlue();
}

void View::setTintColor(const std::optional<Color>& tint) {
  // A clear tint means "inherit", as UIKit's nil tint does.
  tint_ = (tint && tint->alpha > 0) ? tint : std::nullopt;
}

double View::presentationAlpha() const {
  auto v = Animator::shared().presentation(this, Animator::Property::alpha);
  return v ? (*v)[0] : alpha_;
}

AffineTransform View::presentationTransform() const {
  auto v = Animator::shared().presentation(this, Animator::Property::transform);
  return v ? Animator::unpackTransform(*v) : transform_;
}

Point View::presentationCenter() const {
  auto v = Animator::shared().presentation(this, Animator::Property::center);
  return v ? Point{(*v)[0], (*v)[1]} : center_;
}

Rect View::presentationBounds() const {
  auto v = Animator::shared().presentation(this, Animator::Property::boundsSize);
  return v ? Rect{bounds_.origin, {(*v)[0], (*v)[1]}} : bounds_;
}

Rect View::presentationFrame() const {
  return transformedFrame(presentationCenter(), presentationBounds().size, presentationTransform());
}

Color View::presentationBackgroundColor() const {
  auto v = Animator::shared().presentation(this, Animator::Property::backgroundColor);
  return v ? Color{(*v)[0], (*v)[1], (*v)[2], (*v)[3]} : layer_->backgroundColor();
}

// ---- layout

void View::setNeedsLayout() {
  needsLayout_ = true;
  scheduleLayout();
}

void View::scheduleLayout() {
  if (auto w = window()) w->scheduleLayoutPass();
}

void View::layoutIfNeeded() {
  auto keep = shared_from_this();
  if (needsLayout_ && !inLayout_) {
    needsLayout_ = false;
    inLayout_ = true;
    auto controller = controller_.lock();
    if (controller) controller->viewWillLayoutSubviews();
    layoutSubviews();
    if (controller) controller->viewDidLayoutSubviews();
    inLayout_ = false;
  }
  auto children = subviews_;
  for (const auto& child : children) child->layoutIfNeeded();
}

void View::layoutSubviews() {
  // Two passes so a view constrained to a later sibling sees that sibling placed.
  for (int pass = 0; pass < 2; ++pass) {
    auto children = subviews_;
    for (const auto& child : children) {
      if (!child->constraints_.empty()) detail::resolveConstraints(*child);
    }
  }
}

Size View::sizeThatFits(const Size&) const {
  Size intrinsic = intrinsicContentSize();
  return {intrinsic.width >= 0 ? intrinsic.width : bounds_.width(),
          intrinsic.height >= 0 ? intrinsic.height : bounds_.height()};
}

void View::sizeToFit() {
  Size s = sizeThatFits({bounds_.width(), bounds_.height()});
  Rect f = frame();
  setBounds({bounds_.origin, s});
  setCenter({f.minX() + s.width / 2, f.minY() + s.height / 2});
}

void View::invalidateIntrinsicContentSize() {
  // A container may hug this view, and its own parent place the container: every ancestor
  // lays out again (the pass is cheap; there is no solver to notify).
  for (auto v = superview(); v; v = v->superview()) v->needsLayout_ = true;
  setNeedsLayout();
}

void View::applyAutoresizing(const Size& oldSize) {
  if (!autoresizesSubviews_) return;
  double dw = bounds_.width() - oldSize.width, dh = bounds_.height() - oldSize.height;
  for (const auto& child : subviews_) {
    auto mask = child->autoresizingMask_;
    if (mask == Autoresizing::none || !child->translatesAutoresizing_) continue;
    Rect f = child->frame();
    double left = f.minX(), width = f.width(), right = oldSize.width - f.maxX();
    double top = f.minY(), height = f.height(), bottom = oldSize.height - f.maxY();
    resizeAxis(left, width, right, mask & Autoresizing::flexibleLeftMargin, mask & Autoresizing::flexibleWidth,
               mask & Autoresizing::flexibleRightMargin, dw);
    resizeAxis(top, height, bottom, mask & Autoresizing::flexibleTopMargin, mask & Autoresizing::flexibleHeight,
               mask & Autoresizing::flexibleBottomMargin, dh);
    child->setFrame({left, top, std::max(0.0, width), std::max(0.0, height)});
  }
}

// ---- animation

void View::animate(dispatch::Seconds duration, dispatch::Seconds delay, AnimationOptions options,
                   const AnimationBlock& animations, AnimationCompletion completion) {
  Animator::shared().animate(duration, delay, options, animations, std::move(completion));
}

void View::animate(dispatch::Seconds duration, const AnimationBlock& animations, AnimationCompletion completion) {
  Animator::shared().animate(duration, dispatch::Seconds{0}, AnimationOption::none, animations,
                             std::move(completion));
}

void View::transition(const std::shared_ptr<View>&, dispatch::Seconds duration, AnimationOptions options,
                      const AnimationBlock& animations, AnimationCompletion completion) {
  Animator::shared().animate(duration, dispatch::Seconds{0}, options, animations, std::move(completion));
}

void View::performWithoutAnimation(const AnimationBlock& block) { Animator::shared().withoutAnimation(block); }

}  // namespace platform::ui
