#include "platform/ui/Window.h"

#include <algorithm>

#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/ui/Application.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/WindowScene.h"

namespace platform::ui {

Window::Window(const Rect& frame) : View(frame) { View::setHidden(true); }

Window::~Window() = default;

std::shared_ptr<Window> Window::make(const std::shared_ptr<WindowScene>& scene) {
  auto window = std::make_shared<Window>(scene ? scene->bounds() : Rect{});
  window->setWindowScene(scene);
  return window;
}

void Window::setWindowScene(const std::shared_ptr<WindowScene>& scene) {
  auto self = std::static_pointer_cast<Window>(shared_from_this());
  if (auto old = scene_.lock()) old->removeWindow(self);
  scene_ = scene;
  if (scene) {
    scene->addWindow(self);
    setFrame(scene->bounds());
  }
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow().get() == this; }

void Window::makeKey() {
  Application::shared().setKeyWindow(std::static_pointer_cast<Window>(shared_from_this()));
}

void Window::makeKeyAndVisible() {
  makeKey();
  setHidden(false);
}

void Window::setHidden(bool hidden) {
  bool was = isHidden();
  View::setHidden(hidden);
  if (was == hidden) return;
  if (hidden && isKeyWindow()) {
    // Key status moves to the topmost other visible window of the same scene.
    std::shared_ptr<Window> next;
    if (auto scene = windowScene()) {
      for (const auto& w : scene->windows()) {
        if (w.get() != this && !w->isHidden() && (!next || w->windowLevel() >= next->windowLevel())) next = w;
      }
    }
    Application::shared().setKeyWindow(next);
  }
  updateRootAppearance(!hidden);
  if (!hidden) setNeedsLayout();
}

void Window::updateRootAppearance(bool visible) {
  if (!root_) return;
  root_->beginAppearanceTransition(visible, false);
  root_->endAppearanceTransition();
}

void Window::setRootViewController(const std::shared_ptr<ViewController>& controller) {
  if (controller == root_) return;
  auto old = root_;
  if (old) {
    old->dropPresentedAbove();
    if (!isHidden()) old->beginAppearanceTransition(false, false);
    if (old->viewIfLoaded()) old->viewIfLoaded()->removeFromSuperview();
    if (!isHidden()) old->endAppearanceTransition();
  }
  root_ = controller;
  if (!controller) return;
  auto v = controller->view();
  v->setFrame(bounds());
  v->setAutoresizingMask(Autoresizing::flexibleWidth | Autoresizing::flexibleHeight);
  insertSubview(v, 0);
  if (!isHidden()) updateRootAppearance(true);
}

double Window::now() const { return std::chrono::duration<double>(dispatch::Scheduler::clock().now()).count(); }

std::shared_ptr<View> Window::hitTest(Point p) {
  // A hidden window takes no touches (nor, as any view, one with alpha below 0.01).
  if (isHidden()) return nullptr;
  return View::hitTest(p);
}

// ---- touches

void Window::touchDown(int id, Point p) {
  if (touches_.count(id)) touchUp(id, p);
  auto self = std::static_pointer_cast<Window>(shared_from_this());
  layoutIfNeeded();
  auto hit = hitTest(p);
  if (!hit) return;
  auto touch = std::make_shared<Touch>(id, self, hit, p, now());
  ActiveTouch active;
  active.touch = touch;
  // Recognisers of the hit view and its ancestors, nearest first. Discrete ones yield to a
  // control between them and the finger, as a button inside a tappable card keeps its tap.
  bool controlBelow = false;
  for (auto v = hit; v; v = v->superview()) {
    for (const auto& r : v->gestureRecognizers()) {
      if (!r->isEnabled()) continue;
      if (r->isDiscrete() && controlBelow) continue;
      if (r->shouldReceiveTouch && !r->shouldReceiveTouch(*r, *touch)) continue;
      active.recognizers.push_back(r);
    }
    if (v->isControl()) controlBelow = true;
  }
  auto& stored = touches_[id] = std::move(active);
  auto recognizers = stored.recognizers;
  for (const auto& r : recognizers) {
    r->trackTouch(touch);
    r->touchesBegan({touch});
  }
  auto found = touches_.find(id);
  if (found == touches_.end()) return;
  afterRecognizers(found->second);
  found = touches_.find(id);
  if (found == touches_.end() || !found->second.deliverToView) return;
  found->second.viewBegan = true;
  hit->touchesBegan({touch});
}

void Window::afterRecognizers(ActiveTouch& active) {
  for (const auto& r : active.recognizers) {
    auto s = r->state();
    if (s != GestureRecognizer::State::began && s != GestureRecognizer::State::ended &&
        s != GestureRecognizer::State::changed) {
      continue;
    }
    // The first recogniser to begin wins the touch: the others fail.
    for (const auto& other : active.recognizers) {
      if (other != r && other->state() == GestureRecognizer::State::possible) {
        other->setState(GestureRecognizer::State::failed);
      }
    }
    if (r->cancelsTouchesInView() && active.deliverToView) {
      active.deliverToView = false;
      if (active.viewBegan) {
        auto touch = active.touch;
        touch->update(Touch::Phase::cancelled, touch->windowLocation(), now());
        if (auto view = touch->view()) view->touchesCancelled({touch});
      }
    }
    break;
  }
}

void Window::touchMove(int id, Point p) { moveOrEnd(id, p, Touch::Phase::moved); }

void Window::touchUp(int id, Point p) {
  moveOrEnd(id, p, Touch::Phase::ended);
  finishTouch(id);
}

// A move or an end goes to the recognizers still in play, then to the view if they let it
// through. Handlers may end the touch or remove views, so the touch is looked up again.
void Window::moveOrEnd(int id, Point p, Touch::Phase phase) {
  auto found = touches_.find(id);
  if (found == touches_.end()) return;
  auto touch = found->second.touch;
  bool ended = phase == Touch::Phase::ended;
  touch->update(phase, p, now());
  auto recognizers = found->second.recognizers;
  for (const auto& r : recognizers) {
    auto s = r->state();
    if (s == GestureRecognizer::State::failed || s == GestureRecognizer::State::cancelled ||
        s == GestureRecognizer::State::ended) {
      continue;
    }
    ended ? r->touchesEnded({touch}) : r->touchesMoved({touch});
  }
  found = touches_.find(id);
  if (found == touches_.end()) return;
  afterRecognizers(found->second);
  found = touches_.find(id);
  if (found == touches_.end() || !found->second.deliverToView) return;
  auto view = touch->view();
  if (!view) return;
  ended ? view->touchesEnded({touch}) : view->touchesMoved({touch});
}

void Window::touchCancel(int id) {
  auto found = touches_.find(id);
  if (found == touches_.end() || found->second.cancelling) return;
  // A handler below may hide or remove views, which cancels again: once is enough.
  found->second.cancelling = true;
  auto touch = found->second.touch;
  touch->update(Touch::Phase::cancelled, touch->windowLocation(), now());
  auto recognizers = found->second.recognizers;
  for (const auto& r : recognizers) r->touchesCancelled({touch});
  found = touches_.find(id);
  auto view = touch->view();
  if (found != touches_.end() && found->second.deliverToView && found->second.viewBegan && view) {
    view->touchesCancelled({touch});
  }
  finishTouch(id);
}

void Window::finishTouch(int id) {
  auto found = touches_.find(id);
  if (found == touches_.end()) return;
  auto active = std::move(found->second);
  touches_.erase(found);
  for (const auto& r : active.recognizers) {
    r->untrackTouch(active.touch);
    r->resetIfDone();
  }
}

void Window::cancelTouches(const View* within) {
  std::vector<int> ids;
  for (const auto& [id, active] : touches_) {
    auto view = active.touch->view();
    if (view && view->isDescendantOf(within)) ids.push_back(id);
  }
  if (ids.empty()) return;
  auto keep = shared_from_this();
  for (int id : ids) touchCancel(id);
}

void Window::tap(Point p) {
  touchDown(0, p);
  touchUp(0, p);
}

// ---- text input

void Window::setFirstResponder(const std::shared_ptr<View>& view) { firstResponder_ = view; }

void Window::insertText(const std::string& text) {
  if (auto field = std::dynamic_pointer_cast<TextField>(firstResponder())) field->insertText(text);
}

void Window::deleteBackward() {
  if (auto field = std::dynamic_pointer_cast<TextField>(firstResponder())) field->deleteBackward();
}

// ---- layout and transitions

void Window::scheduleLayoutPass() {
  if (layoutPosted_) return;
  layoutPosted_ = true;
  std::weak_ptr<View> weak = weak_from_this();
  dispatch::MainLoop::post([weak] {
    auto self = std::static_pointer_cast<Window>(weak.lock());
    if (!self) return;
    self->layoutPosted_ = false;
    self->layoutIfNeeded();
  });
}

void Window::enqueueTransition(std::function<void()> start) {
  if (transitionRunning_) {
    pendingTransitions_.push_back(std::move(start));
    return;
  }
  transitionRunning_ = true;
  auto keep = shared_from_this();
  start();
}

void Window::transitionEnded() {
  transitionRunning_ = false;
  if (pendingTransitions_.empty()) return;
  auto next = std::move(pendingTransitions_.front());
  pendingTransitions_.pop_front();
  enqueueTransition(std::move(next));
}

void Window::viewLeft(View* view) {
  auto responder = firstResponder_.lock();
  if (responder && responder->isDescendantOf(view)) firstResponder_.reset();
  // A finger on a view that left can no longer be lifted from it: cancel it so that its
  // owner releases what the finger held.
  cancelTouches(view);
}

}  // namespace platform::ui
