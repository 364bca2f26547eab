#include "platform/ui/Control.h"

#include <algorithm>

namespace platform::ui {

int Control::addTarget(Action action, ControlEvents events) {
  if (!action) return 0;
  int id = nextTargetId_++;
  targets_.push_back({id, events, std::move(action)});
  return id;
}

int Control::addTarget(std::function<void()> action, ControlEvents events) {
  if (!action) return 0;
  return addTarget([action = std::move(action)](Control&) { action(); }, events);
}

void Control::removeTarget(int id) {
  targets_.erase(std::remove_if(targets_.begin(), targets_.end(), [id](const Target& t) { return t.id == id; }),
                 targets_.end());
}

void Control::removeAllTargets() { targets_.clear(); }

void Control::sendActions(ControlEvents events) {
  auto keep = shared_from_this();  // an action may remove the control from the tree
  auto targets = targets_;         // and add or remove targets
  for (const auto& t : targets) {
    if (t.events & events) t.action(*this);
  }
}

bool Control::beginTracking(const Touch&) { return true; }
bool Control::continueTracking(const Touch&) { return true; }
void Control::endTracking(const Touch*) {}
void Control::cancelTracking() {}

void Control::touchesBegan(const TouchSet& touches) {
  if (touches.empty() || tracking_ || !enabled_) return;
  auto keep = shared_from_this();
  const auto& touch = touches.front();
  touchInside_ = true;
  if (!beginTracking(*touch)) return;
  tracking_ = true;
  trackedTouch_ = touch;
  setHighlighted(true);
  sendActions(ControlEvent::touchDown);
}

void Control::touchesMoved(const TouchSet& touches) {
  if (!tracking_) return;
  auto keep = shared_from_this();
  for (const auto& touch : touches) {
    if (touch != trackedTouch_) continue;
    bool inside = pointInside(touch->locationIn(this));
    bool was = touchInside_;
    touchInside_ = inside;
    setHighlighted(inside);
    if (inside != was) sendActions(inside ? ControlEvent::touchDragEnter : ControlEvent::touchDragExit);
    sendActions(inside ? ControlEvent::touchDragInside : ControlEvent::touchDragOutside);
    if (tracking_ && !continueTracking(*touch)) {
      tracking_ = false;
      endTracking(touch.get());
      setHighlighted(false);
      trackedTouch_.reset();
    }
  }
}

void Control::touchesEnded(const TouchSet& touches) {
  if (!tracking_) return;
  auto keep = shared_from_this();
  for (const auto& touch : touches) {
    if (touch != trackedTouch_) continue;
    bool inside = pointInside(touch->locationIn(this));
    touchInside_ = inside;
    tracking_ = false;
    trackedTouch_.reset();
    setHighlighted(false);
    endTracking(touch.get());
    sendActions(inside ? (ControlEvent::touchUpInside | ControlEvent::primaryActionTriggered)
                       : ControlEvent::touchUpOutside);
  }
}

void Control::touchesCancelled(const TouchSet& touches) {
  if (!tracking_) return;
  auto keep = shared_from_this();
  for (const auto& touch : touches) {
    if (touch != trackedTouch_) continue;
    tracking_ = false;
    trackedTouch_.reset();
    setHighlighted(false);
    cancelTracking();
    sendActions(ControlEvent::touchCancel);
  }
}

std::shared_ptr<View> Control::hitTest(Point p) {
  if (!enabled_) return nullptr;
  return View::hitTest(p);
}

}  // namespace platform::ui
