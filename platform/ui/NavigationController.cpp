#include "platform/ui/NavigationController.h"

#include <algorithm>

#include "platform/ui/Screen.h"

namespace platform::ui {
namespace {

// The navigation controller's root view keeps the bar and the top view placed.
class NavigationView : public View {
 public:
  NavigationView(const Rect& frame, std::weak_ptr<NavigationController> owner) : View(frame), owner_(std::move(owner)) {}
  void layoutSubviews() override {
    View::layoutSubviews();
    if (auto nav = owner_.lock()) nav->layoutContent();
  }

 private:
  std::weak_ptr<NavigationController> owner_;
};

}  // namespace

std::shared_ptr<NavigationController> NavigationController::make(const std::shared_ptr<ViewController>& root) {
  auto nav = std::make_shared<NavigationController>();
  if (root) nav->setViewControllers({root});
  return nav;
}

void NavigationController::loadView() {
  auto self = std::static_pointer_cast<NavigationController>(shared_from_this());
  auto v = std::make_shared<NavigationView>(Screen::portraitBounds(), self);
  v->setBackgroundColor(Color::white());
  bar_ = View::make({0, 0, v->bounds().width(), kBarHeight});
  bar_->setBackgroundColor(Color::white(0.97));
  barTitle_ = Label::make();
  barTitle_->setFont(Font::boldSystemFont(17));
  barTitle_->setTextAlignment(TextAlignment::center);
  bar_->addSubview(barTitle_);
  bar_->setHidden(barHidden_);
  v->addSubview(bar_);
  setView(v);
  if (auto top = topViewController()) {
    auto tv = top->view();
    v->insertSubview(tv, 0);
  }
}

std::shared_ptr<ViewController> NavigationController::topViewController() const {
  return children().empty() ? nullptr : children().back();
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
  if (auto presented = presentedViewController()) return presented;
  return topViewController();
}

std::vector<std::shared_ptr<ViewController>> NavigationController::childrenForAppearance() const {
  auto top = topViewController();
  if (!top) return {};
  return {top};
}

Rect NavigationController::contentFrame() const {
  auto v = viewIfLoaded();
  if (!v) return {};
  double top = barHidden_ ? 0 : kBarHeight;
  return {0, top, v->bounds().width(), std::max(0.0, v->bounds().height() - top)};
}

void NavigationController::layoutContent() {
  auto v = viewIfLoaded();
  if (!v) return;
  bar_->setFrame({0, 0, v->bounds().width(), kBarHeight});
  bar_->setHidden(barHidden_);
  auto top = topViewController();
  barTitle_->setText(top ? top->title() : "");
  barTitle_->setFrame({0, 0, v->bounds().width(), kBarHeight});
  Rect content = contentFrame();
  for (const auto& child : children()) {
    auto cv = child->viewIfLoaded();
    if (!cv || cv->superview() != v) continue;
    Rect current = cv->frame();
    if (current.size != content.size || cv->center() != content.center()) {
      View::performWithoutAnimation([&] {
        cv->setBounds({cv->bounds().origin, content.size});
        cv->setCenter(content.center());
      });
    }
  }
  v->bringSubviewToFront(bar_);
}

bool NavigationController::onScreen() const {
  return appearance() == Appearance::appeared || appearance() == Appearance::appearing;
}

void NavigationController::setNavigationBarHidden(bool hidden, bool) {
  barHidden_ = hidden;
  if (auto v = viewIfLoaded()) {
    bar_->setHidden(hidden);
    v->setNeedsLayout();
    layoutContent();
  }
}

void NavigationController::enqueue(std::function<void()> step) {
  if (busy_) {
    pending_.push_back(std::move(step));
    return;
  }
  busy_ = true;
  step();
}

void NavigationController::stepEnded() {
  busy_ = false;
  if (pending_.empty()) return;
  auto next = std::move(pending_.front());
  pending_.pop_front();
  enqueue(std::move(next));
}

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& controller, bool animated) {
  if (!controller || controller->parent() || controller->presentingViewController()) return;
  auto self = std::static_pointer_cast<NavigationController>(shared_from_this());
  enqueue([self, controller, animated] { self->performPush(controller, animated); });
}

void NavigationController::performPush(const std::shared_ptr<ViewController>& controller, bool animated) {
  if (controller->parent()) {
    stepEnded();
    return;
  }
  auto old = topViewController();
  addChild(controller);
  auto v = viewIfLoaded();
  if (!v) {
    controller->didMoveToParent(shared_from_this());
    stepEnded();
    return;
  }
  bool visible = onScreen();
  animated = animated && visible && old;
  auto cv = controller->view();
  Rect content = contentFrame();
  cv->setFrame(content);
  v->addSubview(cv);
  v->bringSubviewToFront(bar_);
  if (visible) {
    if (old) old->beginAppearanceTransition(false, animated);
    controller->beginAppearanceTransition(true, animated);
  }
  auto self = std::static_pointer_cast<NavigationController>(shared_from_this());
  auto finish = [self, old, controller, visible](bool) {
    if (old && old->viewIfLoaded() && self->topViewController() == controller) old->viewIfLoaded()->removeFromSuperview();
    if (visible) {
      if (old) old->endAppearanceTransition();
      controller->endAppearanceTransition();
    }
    controller->didMoveToParent(self);
    self->layoutContent();
    self->stepEnded();
  };
  if (!animated) {
    finish(true);
    return;
  }
  View::performWithoutAnimation([&] { cv->setTransform(AffineTransform::translation(content.width(), 0)); });
  View::animate(dispatch::Seconds(kPushDuration), [cv] { cv->setTransform(AffineTransform::identity()); }, finish);
}

std::shared_ptr<ViewController> NavigationController::popViewController(bool animated) {
  if (children().size() < 2) return nullptr;
  auto popped = topViewController();
  auto self = std::static_pointer_cast<NavigationController>(shared_from_this());
  enqueue([self, animated] { self->performPop(animated, false); });
  return popped;
}

void NavigationController::popToRootViewController(bool animated) {
  if (children().size() < 2) return;
  auto self = std::static_pointer_cast<NavigationController>(shared_from_this());
  enqueue([self, animated] { self->performPop(animated, true); });
}

void NavigationController::performPop(bool animated, bool toRoot) {
  if (children().size() < 2) {
    stepEnded();
    return;
  }
  auto top = topViewController();
  if (toRoot) {
    // The controllers between the root and the top leave without being seen.
    while (children().size() > 2) {
      auto middle = children()[children().size() - 2];
      middle->willMoveToParent(nullptr);
      if (middle->viewIfLoaded()) middle->viewIfLoaded()->removeFromSuperview();
      middle->removeFromParent();
    }
  }
  auto below = children()[children().size() - 2];
  auto v = viewIfLoaded();
  bool visible = v && onScreen();
  animated = animated && visible;
  top->willMoveToParent(nullptr);
  if (v) {
    auto bv = below->view();
    bv->setFrame(contentFrame());
    if (top->viewIfLoaded() && top->viewIfLoaded()->superview() == v) {
      v->insertSubviewBelow(bv, top->viewIfLoaded());
    } else {
      v->addSubview(bv);
    }
  }
  if (visible) {
    top->beginAppearanceTransition(false, animated);
    below->beginAppearanceTransition(true, animated);
  }
  auto self = std::static_pointer_cast<NavigationController>(shared_from_this());
  auto tv = top->viewIfLoaded();
  auto finish = [self, top, below, visible, tv](bool) {
    if (tv) {
      tv->removeFromSuperview();
      View::performWithoutAnimation([&] { tv->setTransform(AffineTransform::identity()); });
    }
    // Detach before the disappear entries end, so the leaving page sees itself gone.
    top->removeFromParent();
    if (visible) {
      top->endAppearanceTransition();
      below->endAppearanceTransition();
    }
    self->layoutContent();
    self->stepEnded();
  };
  if (!animated || !tv) {
    finish(true);
    return;
  }
  double width = contentFrame().width();
  View::animate(dispatch::Seconds(kPushDuration), [tv, width] { tv->setTransform(AffineTransform::translation(width, 0)); },
                finish);
}

void NavigationController::setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers) {
  auto v = viewIfLoaded();
  bool visible = v && onScreen();
  auto oldTop = topViewController();
  auto newTop = controllers.empty() ? nullptr : controllers.back();
  if (visible && oldTop && oldTop != newTop) oldTop->beginAppearanceTransition(false, false);
  for (auto child : children()) {
    if (std::find(controllers.begin(), controllers.end(), child) != controllers.end()) continue;
    if (child->viewIfLoaded()) child->viewIfLoaded()->removeFromSuperview();
    child->removeFromParent();
  }
  for (const auto& c : controllers) {
    if (c && c->parent().get() != this) addChild(c);
  }
  children_.clear();
  for (const auto& c : controllers) {
    if (c && std::find(children_.begin(), children_.end(), c) == children_.end()) children_.push_back(c);
  }
  if (visible && oldTop && oldTop != newTop) oldTop->endAppearanceTransition();
  if (v && newTop) {
    for (const auto& child : children()) {
      if (child != newTop && child->viewIfLoaded()) child->viewIfLoaded()->removeFromSuperview();
    }
    auto tv = newTop->view();
    tv->setFrame(contentFrame());
    v->addSubview(tv);
    v->bringSubviewToFront(bar_);
    if (visible && oldTop != newTop) {
      newTop->beginAppearanceTransition(true, false);
      newTop->endAppearanceTransition();
    }
  }
  for (const auto& c : controllers) {
    if (c) c->didMoveToParent(shared_from_this());
  }
}

}  // namespace platform::ui
