#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/Touch.h"

namespace platform::foundation {
class KeyedArchive;
}

namespace platform::ui {

class GestureRecognizer;
class ViewController;
class Window;

enum class ContentMode { scaleToFill, scaleAspectFit, scaleAspectFill, center, top, bottom, left, right };

// UIView.AutoresizingMask bits.
using AutoresizingMask = unsigned;
namespace Autoresizing {
inline constexpr AutoresizingMask none = 0;
inline constexpr AutoresizingMask flexibleLeftMargin = 1u << 0;
inline constexpr AutoresizingMask flexibleWidth = 1u << 1;
inline constexpr AutoresizingMask flexibleRightMargin = 1u << 2;
inline constexpr AutoresizingMask flexibleTopMargin = 1u << 3;
inline constexpr AutoresizingMask flexibleHeight = 1u << 4;
inline constexpr AutoresizingMask flexibleBottomMargin = 1u << 5;
}  // namespace Autoresizing

// UIView: a node of the retained view tree. Geometry is centre + bounds + transform (frame
// is derived); children are held strongly, the parent weakly. Animatable properties set
// inside View::animate keep their new (model) value at once while the presentation value
// moves on the main-loop clock; the renderer draws presentation values, hit testing uses
// model values. All members are main-thread only.
class LUMO_PLATFORM_EXPORT View : public std::enable_shared_from_this<View> {
 public:
  static std::shared_ptr<View> make(const Rect& frame = {}) { return std::make_shared<View>(frame); }
  explicit View(const Rect& frame = {});
  // From an archive written by encode(): frame, tag, alpha, hidden, background colour and
  // interaction; missing or mistyped keys keep the defaults of a new view.
  explicit View(const foundation::KeyedArchive& archive);
  virtual ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // Writes the state the archive constructor reads; subclasses call the base first.
  virtual void encode(foundation::KeyedArchive& archive) const;

  // ---- geometry
  Rect frame() const;
  void setFrame(const Rect& frame);
  Rect bounds() const { return bounds_; }
  void setBounds(const Rect& bounds);
  Point center() const { return center_; }
  void setCenter(const Point& center);
  AffineTransform transform() const { return transform_; }
  void setTransform(const AffineTransform& transform);

  // ---- appearance
  double alpha() const { return alpha_; }
  void setAlpha(double alpha);
  bool isHidden() const { return hidden_; }
  virtual void setHidden(bool hidden);
  Color backgroundColor() const { return layer_->backgroundColor(); }
  void setBackgroundColor(const Color& color);
  bool clipsToBounds() const { return layer_->masksToBounds(); }
  void setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }
  // The backing layer: corner radius, border and sublayers live there.
  const std::shared_ptr<Layer>& layer() const { return layer_; }
  // The tint of this view or the nearest ancestor that sets one; system blue at the root.
  Color tintColor() const;
  void setTintColor(const std::optional<Color>& tint);
  ContentMode contentMode() const { return contentMode_; }
  void setContentMode(ContentMode mode) { contentMode_ = mode; }
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }

  // ---- presentation values (what is on screen now, mid-animation)
  double presentationAlpha() const;
  AffineTransform presentationTransform() const;
  Point presentationCenter() const;
  Rect presentationBounds() const;
  Rect presentationFrame() const;
  Color presentationBackgroundColor() const;

  // ---- hierarchy
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  void addSubview(const std::shared_ptr<View>& view);
  void insertSubview(const std::shared_ptr<View>& view, std::size_t index);
  void insertSubviewBelow(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void insertSubviewAbove(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling);
  void bringSubviewToFront(const std::shared_ptr<View>& view);
  void sendSubviewToBack(const std::shared_ptr<View>& view);
  // Safe to call from the view's own touch handler or animation completion; a second
  // call is a no-op.
  void removeFromSuperview();
  bool isDescendantOf(const View* ancestor) const;
  // This view or the first descendant (depth first) with the tag.
  std::shared_ptr<View> viewWithTag(int tag);
  std::shared_ptr<Window> window() const;
  // The controller whose root view this is, if any.
  std::shared_ptr<ViewController> owningViewController() const { return controller_.lock(); }

  // ---- layout
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  // Lays out this view (if marked) and then its subtree.
  void layoutIfNeeded();
  // Default: places subviews from their constraints. Subclasses call the base first.
  virtual void layoutSubviews();
  // Natural size; kNoIntrinsicMetric on an axis without one.
  virtual Size intrinsicContentSize() const { return {kNoIntrinsicMetric, kNoIntrinsicMetric}; }
  // Size the view wants within `limit`; default: the intrinsic size, else the current size.
  virtual Size sizeThatFits(const Size& limit) const;
  void sizeToFit();
  void invalidateIntrinsicContentSize();
  AutoresizingMask autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(AutoresizingMask mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool on) { autoresizesSubviews_ = on; }
  bool translatesAutoresizingMaskIntoConstraints() const { return translatesAutoresizing_; }
  void setTranslatesAutoresizingMaskIntoConstraints(bool on) { translatesAutoresizing_ = on; }

  // ---- anchors (the safe area equals the bounds: no notch on this platform)
  LayoutAnchor leadingAnchor() { return {weak_from_this(), LayoutAttribute::leading}; }
  LayoutAnchor trailingAnchor() { return {weak_from_this(), LayoutAttribute::trailing}; }
  LayoutAnchor leftAnchor() { return {weak_from_this(), LayoutAttribute::left}; }
  LayoutAnchor rightAnchor() { return {weak_from_this(), LayoutAttribute::right}; }
  LayoutAnchor topAnchor() { return {weak_from_this(), LayoutAttribute::top}; }
  LayoutAnchor bottomAnchor() { return {weak_from_this(), LayoutAttribute::bottom}; }
  LayoutAnchor widthAnchor() { return {weak_from_this(), LayoutAttribute::width}; }
  LayoutAnchor heightAnchor() { return {weak_from_this(), LayoutAttribute::height}; }
  LayoutAnchor centerXAnchor() { return {weak_from_this(), LayoutAttribute::centerX}; }
  LayoutAnchor centerYAnchor() { return {weak_from_this(), LayoutAttribute::centerY}; }
  EdgeInsets safeAreaInsets() const { return {}; }
  // Constraints this view is the first item of.
  const ConstraintList& constraints() const { return constraints_; }

  // ---- coordinates
  Point convertPointTo(Point p, const View* to) const;
  Point convertPointFrom(Point p, const View* from) const;
  Rect convertRectTo(const Rect& r, const View* to) const;
  // Point in window coordinates (or the root's, outside a window).
  Point toRoot(Point p) const;
  Point fromRoot(Point p) const;

  // ---- hit testing and touches
  // The deepest visible, interactive view containing the point (in this view's
  // coordinates). Hidden views, views with alpha below 0.01, views with interaction
  // disabled and views animating without allowUserInteraction are skipped.
  virtual std::shared_ptr<View> hitTest(Point p);
  virtual bool pointInside(Point p) const;
  // Default: forwards to the superview (the responder chain).
  virtual void touchesBegan(const TouchSet& touches);
  virtual void touchesMoved(const TouchSet& touches);
  virtual void touchesEnded(const TouchSet& touches);
  virtual void touchesCancelled(const TouchSet& touches);

  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }

  // ---- animation
  static void animate(dispatch::Seconds duration, dispatch::Seconds delay, AnimationOptions options,
                      const AnimationBlock& animations, AnimationCompletion completion = {});
  static void animate(dispatch::Seconds duration, const AnimationBlock& animations,
                      AnimationCompletion completion = {});
  // UIView.transition(with:): the changes made in `animations` are animated as in animate().
  static void transition(const std::shared_ptr<View>& view, dispatch::Seconds duration, AnimationOptions options,
                         const AnimationBlock& animations, AnimationCompletion completion = {});
  static void performWithoutAnimation(const AnimationBlock& block);

  // ---- hooks
  virtual void didMoveToSuperview() {}
  virtual void didMoveToWindow() {}
  virtual void willRemoveSubview(const std::shared_ptr<View>&) {}
  virtual void didAddSubview(const std::shared_ptr<View>&) {}
  // A view is a control when it consumes taps itself (tap recognizers of ancestors yield to it).
  virtual bool isControl() const { return false; }

 protected:
  // Subclasses report changes that alter their natural size or look.
  void setNeedsDisplay() {}

 private:
  friend class ViewController;
  friend class LayoutConstraint;
  friend class Window;
  void notifyMovedToWindow(Window* oldWindow);
  void applyAutoresizing(const Size& oldSize);
  void scheduleLayout();
  void detachChild(View* child);

  Point center_{};
  Rect bounds_{};
  AffineTransform transform_{};
  double alpha_ = 1;
  bool hidden_ = false;
  std::optional<Color> tint_;
  ContentMode contentMode_ = ContentMode::scaleToFill;
  int tag_ = 0;
  bool userInteractionEnabled_ = true;
  bool needsLayout_ = true;
  bool inLayout_ = false;
  AutoresizingMask autoresizingMask_ = Autoresizing::none;
  bool autoresizesSubviews_ = true;
  bool translatesAutoresizing_ = true;
  std::shared_ptr<Layer> layer_;
  std::weak_ptr<View> superview_;
  std::vector<std::shared_ptr<View>> subviews_;
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
  ConstraintList constraints_;
  // Signature of the constraints the last layout pass placed this view by.
  std::size_t resolvedConstraints_ = 0;
  std::weak_ptr<ViewController> controller_;
  friend void detail::resolveConstraints(View& view);
};

}  // namespace platform::ui
