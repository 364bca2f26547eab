#include "platform/ui/View.h"

#include <algorithm>

#include "platform/ui/Animator.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Window.h"

// The tree side of View: parents and children, coordinate conversion, hit testing and
// touch forwarding.
namespace platform::ui {

// ---- hierarchy

void View::addSubview(const std::shared_ptr<View>& view) { insertSubview(view, subviews_.size()); }

void View::insertSubview(const std::shared_ptr<View>& view, std::size_t index) {
  if (!view || view.get() == this || isDescendantOf(view.get())) return;
  auto keep = view;
  auto oldWindow = keep->window();
  if (keep->superview().get() == this) {
    auto it = std::find(subviews_.begin(), subviews_.end(), keep);
    auto oldIndex = static_cast<std::size_t>(it - subviews_.begin());
    subviews_.erase(it);
    if (index > oldIndex) --index;
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), keep);
    return;
  }
  if (auto old = keep->superview()) old->detachChild(keep.get());
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), keep);
  keep->superview_ = weak_from_this();
  keep->didMoveToSuperview();
  didAddSubview(keep);
  auto newWindow = window();
  if (newWindow != oldWindow) keep->notifyMovedToWindow(oldWindow.get());
  keep->setNeedsLayout();
  setNeedsLayout();
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
  insertSubview(view, it == subviews_.end() ? 0 : static_cast<std::size_t>(it - subviews_.begin()));
}

void View::insertSubviewAbove(const std::shared_ptr<View>& view, const std::shared_ptr<View>& sibling) {
  auto it = std::find(subviews_.begin(), subviews_.end(), sibling);
  insertSubview(view, it == subviews_.end() ? subviews_.size() : static_cast<std::size_t>(it - subviews_.begin()) + 1);
}

void View::bringSubviewToFront(const std::shared_ptr<View>& view) {
  if (view && view->superview().get() == this) insertSubview(view, subviews_.size());
}

void View::sendSubviewToBack(const std::shared_ptr<View>& view) {
  if (view && view->superview().get() == this) insertSubview(view, 0);
}

void View::detachChild(View* child) {
  auto it = std::find_if(subviews_.begin(), subviews_.end(), [child](const auto& v) { return v.get() == child; });
  if (it == subviews_.end()) return;
  auto keep = *it;
  willRemoveSubview(keep);
  // willRemoveSubview may itself have removed the child.
  it = std::find(subviews_.begin(), subviews_.end(), keep);
  if (it != subviews_.end()) subviews_.erase(it);
  keep->superview_.reset();
  setNeedsLayout();
}

void View::removeFromSuperview() {
  auto parent = superview();
  if (!parent) return;
  auto keep = shared_from_this();  // the parent's reference goes away below
  auto oldWindow = window();
  parent->detachChild(this);
  didMoveToSuperview();
  if (oldWindow) notifyMovedToWindow(oldWindow.get());
}

bool View::isDescendantOf(const View* ancestor) const {
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    if (v == ancestor) return true;
  }
  return false;
}

std::shared_ptr<View> View::viewWithTag(int tag) {
  if (tag_ == tag) return shared_from_this();
  for (const auto& child : subviews_) {
    if (auto found = child->viewWithTag(tag)) return found;
  }
  return nullptr;
}

std::shared_ptr<Window> View::window() const {
  const View* root = this;
  for (auto up = superview_.lock(); up; up = up->superview_.lock()) root = up.get();
  auto* window = dynamic_cast<const Window*>(root);
  if (!window) return nullptr;
  return std::static_pointer_cast<Window>(const_cast<View*>(root)->shared_from_this());
}

void View::notifyMovedToWindow(Window* oldWindow) {
  if (oldWindow) oldWindow->viewLeft(this);
  didMoveToWindow();
  if (needsLayout_) scheduleLayout();
  auto children = subviews_;
  for (const auto& child : children) child->notifyMovedToWindow(oldWindow);
}

// ---- coordinates

Point View::toRoot(Point p) const {
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    if (!v->superview_.lock()) break;
    Point local{p.x - v->bounds_.midX(), p.y - v->bounds_.midY()};
    Point t = v->transform_.apply(local);
    p = {t.x + v->center_.x, t.y + v->center_.y};
  }
  return p;
}

Point View::fromRoot(Point p) const {
  std::vector<const View*> chain;
  for (const View* v = this; v; v = v->superview_.lock().get()) {
    if (v->superview_.lock()) chain.push_back(v);
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const View* v = *it;
    Point local{p.x - v->center_.x, p.y - v->center_.y};
    Point t = v->transform_.inverted().apply(local);
    p = {t.x + v->bounds_.midX(), t.y + v->bounds_.midY()};
  }
  return p;
}

Point View::convertPointTo(Point p, const View* to) const {
  Point root = toRoot(p);
  return to ? to->fromRoot(root) : root;
}

Point View::convertPointFrom(Point p, const View* from) const {
  Point root = from ? from->toRoot(p) : p;
  return fromRoot(root);
}

Rect View::convertRectTo(const Rect& r, const View* to) const {
  Point a = convertPointTo(r.origin, to), b = convertPointTo({r.maxX(), r.minY()}, to);
  Point c = convertPointTo({r.minX(), r.maxY()}, to), d = convertPointTo({r.maxX(), r.maxY()}, to);
  double x0 = std::min({a.x, b.x, c.x, d.x}), x1 = std::max({a.x, b.x, c.x, d.x});
  double y0 = std::min({a.y, b.y, c.y, d.y}), y1 = std::max({a.y, b.y, c.y, d.y});
  return {x0, y0, x1 - x0, y1 - y0};
}

// ---- hit testing and touches

std::shared_ptr<View> View::hitTest(Point p) {
  if (hidden_ || alpha_ < 0.01 || !userInteractionEnabled_) return nullptr;
  if (Animator::shared().blocksInteraction(this)) return nullptr;
  if (!pointInside(p)) return nullptr;
  auto children = subviews_;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    const auto& child = *it;
    Point local{p.x - child->center_.x, p.y - child->center_.y};
    Point t = child->transform_.inverted().apply(local);
    Point inChild{t.x + child->bounds_.midX(), t.y + child->bounds_.midY()};
    // The parent's bounds origin (a scroll offset) is already in p.
    if (auto hit = child->hitTest(inChild)) return hit;
  }
  return shared_from_this();
}

bool View::pointInside(Point p) const { return bounds_.contains(p); }

void View::touchesBegan(const TouchSet& touches) {
  if (auto parent = superview()) parent->touchesBegan(touches);
}
void View::touchesMoved(const TouchSet& touches) {
  if (auto parent = superview()) parent->touchesMoved(touches);
}
void View::touchesEnded(const TouchSet& touches) {
  if (auto parent = superview()) parent->touchesEnded(touches);
}
void View::touchesCancelled(const TouchSet& touches) {
  if (auto parent = superview()) parent->touchesCancelled(touches);
}

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  if (!recognizer) return;
  if (auto old = recognizer->view()) old->removeGestureRecognizer(recognizer);
  recognizers_.push_back(recognizer);
  recognizer->attach(weak_from_this());
}

void View::removeGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  auto it = std::find(recognizers_.begin(), recognizers_.end(), recognizer);
  if (it == recognizers_.end()) return;
  recognizers_.erase(it);
  recognizer->attach({});
}

}  // namespace platform::ui
