#include "platform/ui/ActivityIndicatorView.h"

namespace platform::ui {

std::shared_ptr<ActivityIndicatorView> ActivityIndicatorView::make(Style style) {
  return std::make_shared<ActivityIndicatorView>(style);
}

ActivityIndicatorView::ActivityIndicatorView(Style style) : View(), style_(style) {
  Size s = intrinsicContentSize();
  setBounds({0, 0, s.width, s.height});
  setHidden(true);
  setUserInteractionEnabled(false);
}

ActivityIndicatorView::~ActivityIndicatorView() {
  if (timer_) timer_->invalidate();
}

Size ActivityIndicatorView::intrinsicContentSize() const {
  return style_ == Style::large ? Size{37, 37} : Size{20, 20};
}

void ActivityIndicatorView::startAnimating() {
  setHidden(false);
  if (timer_) return;
  std::weak_ptr<View> weak = weak_from_this();
  timer_ = dispatch::Timer::scheduled(dispatch::Seconds(1.0 / 12.0), true, [weak](dispatch::Timer& t) {
    auto self = std::static_pointer_cast<ActivityIndicatorView>(weak.lock());
    if (!self) {
      t.invalidate();
      return;
    }
    self->phase_ = (self->phase_ + 1) % 12;
  });
}

void ActivityIndicatorView::stopAnimating() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  if (hidesWhenStopped_) setHidden(true);
}

}  // namespace platform::ui
