#include "platform/ui/TabBarController.h"

#include "platform/ui/Screen.h"

namespace platform::ui {
namespace {

class TabBarView : public View {
 public:
  TabBarView(const Rect& frame, std::weak_ptr<TabBarController> owner) : View(frame), owner_(std::move(owner)) {}
  void layoutSubviews() override {
    View::layoutSubviews();
    if (auto tab = owner_.lock()) tab->layoutContent();
  }

 private:
  std::weak_ptr<TabBarController> owner_;
};

}  // namespace

void TabBarController::loadView() {
  auto self = std::static_pointer_cast<TabBarController>(shared_from_this());
  auto v = std::make_shared<TabBarView>(Screen::portraitBounds(), self);
  v->setBackgroundColor(Color::white());
  bar_ = View::make();
  bar_->setBackgroundColor(Color::white(0.97));
  v->addSubview(bar_);
  setView(v);
  rebuildBar();
  showSelected();
}

void TabBarController::setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers) {
  auto old = selectedViewController();
  bool visible = appearance() == Appearance::appeared;
  if (visible && old) old->beginAppearanceTransition(false, false);
  for (auto child : children()) {
    if (child->viewIfLoaded()) child->viewIfLoaded()->removeFromSuperview();
    child->removeFromParent();
  }
  if (visible && old) old->endAppearanceTransition();
  for (const auto& c : controllers) {
    if (!c) continue;
    addChild(c);
    c->didMoveToParent(shared_from_this());
  }
  selected_ = 0;
  if (viewIfLoaded()) {
    rebuildBar();
    showSelected();
    auto now = selectedViewController();
    if (visible && now) {
      now->beginAppearanceTransition(true, false);
      now->endAppearanceTransition();
    }
  }
}

std::shared_ptr<ViewController> TabBarController::selectedViewController() const {
  return selected_ < children().size() ? children()[selected_] : nullptr;
}

std::vector<std::shared_ptr<ViewController>> TabBarController::childrenForAppearance() const {
  auto s = selectedViewController();
  if (!s) return {};
  return {s};
}

void TabBarController::setSelectedIndex(std::size_t index) {
  if (index >= children().size() || index == selected_) return;
  auto old = selectedViewController();
  auto next = children()[index];
  bool visible = appearance() == Appearance::appeared;
  if (visible) {
    old->beginAppearanceTransition(false, false);
    next->beginAppearanceTransition(true, false);
  }
  selected_ = index;
  showSelected();
  if (visible) {
    old->endAppearanceTransition();
    next->endAppearanceTransition();
  }
}

void TabBarController::rebuildBar() {
  for (const auto& item : items_) item->removeFromSuperview();
  items_.clear();
  std::weak_ptr<TabBarController> weak = std::static_pointer_cast<TabBarController>(shared_from_this());
  for (std::size_t i = 0; i < children().size(); ++i) {
    auto item = Button::make(Button::Type::system);
    item->setTitle(children()[i]->title());
    item->addTarget([weak, i] {
      if (auto self = weak.lock()) self->setSelectedIndex(i);
    }, ControlEvent::touchUpInside);
    bar_->addSubview(item);
    items_.push_back(item);
  }
}

void TabBarController::showSelected() {
  auto v = viewIfLoaded();
  if (!v) return;
  for (const auto& child : children()) {
    if (child != selectedViewController() && child->viewIfLoaded()) child->viewIfLoaded()->removeFromSuperview();
  }
  if (auto s = selectedViewController()) v->insertSubview(s->view(), 0);
  layoutContent();
}

void TabBarController::layoutContent() {
  auto v = viewIfLoaded();
  if (!v) return;
  double w = v->bounds().width(), h = v->bounds().height();
  bar_->setFrame({0, h - kBarHeight, w, kBarHeight});
  double itemWidth = items_.empty() ? 0 : w / static_cast<double>(items_.size());
  for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->setFrame({itemWidth * i, 0, itemWidth, kBarHeight});
  if (auto s = selectedViewController()) s->view()->setFrame({0, 0, w, h - kBarHeight});
}

}  // namespace platform::ui
