#include "platform/ui/ViewController.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TabBarController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace platform::ui {

namespace {

// The phone turns to what the controller now on top allows, when it must.
void reevaluateOrientation(const std::shared_ptr<Window>& window) {
  if (auto scene = window ? window->windowScene() : nullptr) scene->reevaluateOrientation();
}

}  // namespace

ViewController::ViewController(const foundation::KeyedArchive& archive) : title_(archive.decodeString("title")) {}

ViewController::~ViewController() = default;

void ViewController::encode(foundation::KeyedArchive& archive) const { archive.encodeString("title", title_); }

std::shared_ptr<View> ViewController::view() {
  if (!view_) {
    loadView();
    if (!view_) setView(View::make(Screen::portraitBounds()));
    viewDidLoad();
  }
  return view_;
}

void ViewController::loadView() {
  auto v = View::make(Screen::portraitBounds());
  v->setBackgroundColor(Color::white());
  setView(v);
}

void ViewController::setView(const std::shared_ptr<View>& view) {
  if (view_) view_->controller_.reset();
  view_ = view;
  if (view_) view_->controller_ = weak_from_this();
}

std::string ViewController::typeName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : mangled;
  std::free(demangled);
  auto colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
  auto keep = shared_from_this();
  if (appearing) {
    if (appearance_ == Appearance::appeared || appearance_ == Appearance::appearing) return;
    appearance_ = Appearance::appearing;
    appearingAnimated_ = animated;
    view();
    viewWillAppear(animated);
  } else {
    if (appearance_ == Appearance::disappeared || appearance_ == Appearance::disappearing) return;
    appearance_ = Appearance::disappearing;
    appearingAnimated_ = animated;
    viewWillDisappear(animated);
  }
  for (const auto& child : childrenForAppearance()) child->beginAppearanceTransition(appearing, animated);
}

void ViewController::endAppearanceTransition() {
  auto keep = shared_from_this();
  if (appearance_ == Appearance::appearing) {
    appearance_ = Appearance::appeared;
    viewDidAppear(appearingAnimated_);
  } else if (appearance_ == Appearance::disappearing) {
    appearance_ = Appearance::disappeared;
    viewDidDisappear(appearingAnimated_);
  } else {
    return;
  }
  for (const auto& child : childrenForAppearance()) child->endAppearanceTransition();
}

void ViewController::addChild(const std::shared_ptr<ViewController>& child) {
  if (!child || child.get() == this || child->parent().get() == this) return;
  for (auto up = parent(); up; up = up->parent()) {
    if (up == child) return;  // a cycle
  }
  child->removeFromParent();
  child->willMoveToParent(shared_from_this());
  children_.push_back(child);
  child->parent_ = weak_from_this();
}

void ViewController::removeFromParent() {
  auto p = parent();
  if (!p) return;
  auto keep = shared_from_this();
  auto& list = p->children_;
  list.erase(std::remove(list.begin(), list.end(), keep), list.end());
  parent_.reset();
  didMoveToParent(nullptr);
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
  for (auto up = parent(); up; up = up->parent()) {
    if (auto nav = std::dynamic_pointer_cast<NavigationController>(up)) return nav;
  }
  return nullptr;
}

std::shared_ptr<TabBarController> ViewController::tabBarController() const {
  for (auto up = parent(); up; up = up->parent()) {
    if (auto tab = std::dynamic_pointer_cast<TabBarController>(up)) return tab;
  }
  return nullptr;
}

std::shared_ptr<ViewController> ViewController::presentedViewController() const {
  if (presented_) return presented_;
  auto p = parent();
  return p ? p->presentedViewController() : nullptr;
}

std::shared_ptr<ViewController> ViewController::presentingViewController() const {
  if (auto own = presenting_.lock()) return own;
  auto p = parent();
  return p ? p->presentingViewController() : nullptr;
}

bool ViewController::isBeingDismissed() const {
  // A child of a controller on its way out is leaving too.
  for (const ViewController* v = this; v; v = v->parent_.lock().get()) {
    if (v->beingDismissed_) return true;
  }
  return false;
}

std::shared_ptr<ViewController> ViewController::presentationContext() {
  auto context = shared_from_this();
  while (auto p = context->parent()) context = p;
  return context;
}

std::shared_ptr<ViewController> ViewController::presentedAncestor() {
  for (auto v = shared_from_this(); v; v = v->parent()) {
    if (v->presenting_.lock()) return v;
  }
  return nullptr;
}

void ViewController::present(const std::shared_ptr<ViewController>& controller, bool animated,
                             Completion completion) {
  auto context = presentationContext();
  auto window = context->view_ ? context->view_->window() : nullptr;
  if (!controller || controller.get() == this || controller->parent() || controller->presenting_.lock()) {
    foundation::ConsoleLog::write("Attempt to present a controller that is already presented or contained.");
    return;
  }
  if (!window) {
    foundation::ConsoleLog::write("Attempt to present " + controller->typeName() + " on " + typeName() +
                                  " whose view is not in the window hierarchy.");
    return;
  }
  window->enqueueTransition([context, controller, animated, completion = std::move(completion)]() mutable {
    context->performPresent(controller, animated, std::move(completion));
  });
}

void ViewController::performPresent(const std::shared_ptr<ViewController>& controller, bool animated,
                                    Completion completion) {
  auto window = view_ ? view_->window() : nullptr;
  if (!window || presented_ || controller->presenting_.lock() || controller->parent()) {
    foundation::ConsoleLog::write("Attempt to present " + controller->typeName() + " on " + typeName() +
                                  " which is already presenting or not in the window hierarchy.");
    if (window) window->transitionEnded();
    return;
  }
  auto self = shared_from_this();
  presented_ = controller;
  controller->presenting_ = self;
  controller->beingPresented_ = true;
  auto v = controller->view();
  v->setFrame(window->bounds());
  v->setAutoresizingMask(Autoresizing::flexibleWidth | Autoresizing::flexibleHeight);
  window->addSubview(v);
  bool fullScreen = controller->presentationStyle_ == ModalPresentationStyle::fullScreen;
  reevaluateOrientation(window);
  controller->beginAppearanceTransition(true, animated);
  if (fullScreen) beginAppearanceTransition(false, animated);
  auto finish = [self, controller, window, fullScreen, completion = std::move(completion)](bool) {
    controller->beingPresented_ = false;
    if (fullScreen && self->view_ && self->presented_ == controller) self->view_->removeFromSuperview();
    controller->endAppearanceTransition();
    if (fullScreen) self->endAppearanceTransition();
    if (completion) completion();
    window->transitionEnded();
  };
  if (!animated) {
    finish(true);
    return;
  }
  if (controller->transitionStyle_ == ModalTransitionStyle::crossDissolve) {
    View::performWithoutAnimation([&] { v->setAlpha(0); });
    View::animate(dispatch::Seconds(kTransitionDuration), [v] { v->setAlpha(1); }, finish);
  } else {
    View::performWithoutAnimation([&] { v->setTransform(AffineTransform::translation(0, window->bounds().height())); });
    View::animate(dispatch::Seconds(kTransitionDuration), [v] { v->setTransform(AffineTransform::identity()); },
                  finish);
  }
}

void ViewController::dismiss(bool animated, Completion completion) {
  auto target = presentedViewController();
  if (!target) target = presentedAncestor();
  if (!target) return;
  auto window = target->view_ ? target->view_->window() : nullptr;
  if (!window) {
    // Already out of every window: unlink without appearance entries.
    if (auto context = target->presenting_.lock()) context->presented_.reset();
    target->presenting_.reset();
    if (completion) completion();
    return;
  }
  window->enqueueTransition([target, animated, completion = std::move(completion)]() mutable {
    target->performDismiss(animated, std::move(completion));
  });
}

void ViewController::dropPresentedAbove() {
  std::vector<std::shared_ptr<ViewController>> chain;
  for (auto p = presented_; p; p = p->presented_) chain.push_back(p);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    auto& p = *it;
    p->beginAppearanceTransition(false, false);
    if (p->view_) p->view_->removeFromSuperview();
    p->endAppearanceTransition();
    if (auto context = p->presenting_.lock()) context->presented_.reset();
    p->presenting_.reset();
  }
}

void ViewController::performDismiss(bool animated, Completion completion) {
  auto context = presenting_.lock();
  auto window = view_ ? view_->window() : nullptr;
  if (!context || !window) {
    // Dismissed meanwhile by an earlier request: nothing left to do.
    if (window) window->transitionEnded();
    return;
  }
  auto self = shared_from_this();
  beingDismissed_ = true;
  dropPresentedAbove();
  bool fullScreen = presentationStyle_ == ModalPresentationStyle::fullScreen;
  if (fullScreen && context->view_ && !context->view_->superview()) {
    window->insertSubviewBelow(context->view_, view_);
    context->view_->setFrame(window->bounds());
  }
  if (fullScreen) context->beginAppearanceTransition(true, animated);
  beginAppearanceTransition(false, animated);
  auto v = view_;
  auto finish = [self, context, window, fullScreen, v, completion = std::move(completion)](bool) {
    v->removeFromSuperview();
    View::performWithoutAnimation([&] {
      v->setAlpha(1);
      v->setTransform(AffineTransform::identity());
    });
    self->endAppearanceTransition();
    if (fullScreen) context->endAppearanceTransition();
    if (context->presented_ == self) context->presented_.reset();
    self->presenting_.reset();
    self->beingDismissed_ = false;
    reevaluateOrientation(window);
    if (completion) completion();
    window->transitionEnded();
  };
  if (!animated) {
    finish(true);
    return;
  }
  if (transitionStyle_ == ModalTransitionStyle::crossDissolve) {
    View::animate(dispatch::Seconds(kTransitionDuration), [v] { v->setAlpha(0); }, finish);
  } else {
    double h = window->bounds().height();
    View::animate(dispatch::Seconds(kTransitionDuration), [v, h] { v->setTransform(AffineTransform::translation(0, h)); },
                  finish);
  }
}

void ViewController::attemptRotationToDeviceOrientation() {
  for (const auto& scene : Application::shared().connectedScenes()) scene->reevaluateOrientation();
}

}  // namespace platform::ui
