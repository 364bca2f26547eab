#include "platform/ui/WindowScene.h"

#include <algorithm>

#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace platform::ui {

std::vector<std::shared_ptr<Window>> WindowScene::windows() const {
  std::vector<std::shared_ptr<Window>> list;
  for (const auto& w : windows_) {
    if (auto strong = w.lock()) list.push_back(strong);
  }
  return list;
}

std::shared_ptr<Window> WindowScene::keyWindow() const {
  for (const auto& w : windows()) {
    if (w->isKeyWindow()) return w;
  }
  return nullptr;
}

void WindowScene::addWindow(const std::shared_ptr<Window>& window) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [](const auto& w) { return w.expired(); }),
                 windows_.end());
  for (const auto& w : windows_) {
    if (w.lock() == window) return;
  }
  windows_.push_back(window);
}

void WindowScene::removeWindow(const std::shared_ptr<Window>& window) {
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(),
                                [&](const auto& w) { return w.expired() || w.lock() == window; }),
                 windows_.end());
}

Rect WindowScene::bounds() const {
  Rect portrait = Screen::portraitBounds();
  if (isLandscape(orientation_)) return {0, 0, portrait.height(), portrait.width()};
  return portrait;
}

InterfaceOrientationMask WindowScene::allowedOrientations() const {
  auto list = windows();
  std::shared_ptr<Window> window;
  for (const auto& w : list) {
    if (w->isKeyWindow()) window = w;
  }
  if (!window && !list.empty()) window = list.front();
  InterfaceOrientationMask mask = Application::shared().supportedInterfaceOrientations(window);
  if (window) {
    // The controller on top of the presentation chain decides, as on the phone.
    auto top = window->rootViewController();
    while (top && top->presentedViewController()) top = top->presentedViewController();
    if (top) mask &= top->supportedInterfaceOrientations();
  }
  return mask;
}

void WindowScene::requestGeometryUpdate(InterfaceOrientationMask mask, ErrorHandler errorHandler) {
  InterfaceOrientationMask allowed = allowedOrientations() & mask;
  if (allowed & maskOf(orientation_)) return;
  const InterfaceOrientation order[] = {InterfaceOrientation::landscapeRight, InterfaceOrientation::landscapeLeft,
                                        InterfaceOrientation::portrait, InterfaceOrientation::portraitUpsideDown};
  for (auto o : order) {
    if (allowed & maskOf(o)) {
      turnTo(o);
      return;
    }
  }
  if (errorHandler) errorHandler("None of the requested orientations are supported by the view controller.");
}

void WindowScene::reevaluateOrientation() {
  InterfaceOrientationMask allowed = allowedOrientations();
  if (allowed == 0 || (allowed & maskOf(orientation_))) return;
  requestGeometryUpdate(allowed);
}

void WindowScene::turnTo(InterfaceOrientation orientation) {
  auto previous = orientation_;
  orientation_ = orientation;
  for (const auto& w : windows()) w->setFrame(bounds());
  if (onInterfaceOrientationChanged) onInterfaceOrientationChanged(previous);
}

}  // namespace platform::ui
