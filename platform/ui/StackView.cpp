#include "platform/ui/StackView.h"

#include <algorithm>

namespace platform::ui {

std::shared_ptr<StackView> StackView::make(const std::vector<std::shared_ptr<View>>& views) {
  auto stack = std::make_shared<StackView>();
  for (const auto& v : views) stack->addArrangedSubview(v);
  return stack;
}

void StackView::addArrangedSubview(const std::shared_ptr<View>& view) { insertArrangedSubview(view, arranged_.size()); }

void StackView::insertArrangedSubview(const std::shared_ptr<View>& view, std::size_t index) {
  if (!view || view.get() == this) return;
  arranged_.erase(std::remove(arranged_.begin(), arranged_.end(), view), arranged_.end());
  index = std::min(index, arranged_.size());
  arranged_.insert(arranged_.begin() + static_cast<std::ptrdiff_t>(index), view);
  if (view->superview().get() != this) addSubview(view);
  invalidateIntrinsicContentSize();
}

void StackView::removeArrangedSubview(const std::shared_ptr<View>& view) {
  arranged_.erase(std::remove(arranged_.begin(), arranged_.end(), view), arranged_.end());
  invalidateIntrinsicContentSize();
}

void StackView::willRemoveSubview(const std::shared_ptr<View>& view) { removeArrangedSubview(view); }

Size StackView::itemSize(const View& view) const {
  Size s = view.intrinsicContentSize();
  for (const auto& c : view.constraints()) {
    if (!c->isActive() || c->secondItem() || c->relation() != LayoutRelation::equal) continue;
    if (c->firstAttribute() == LayoutAttribute::width) s.width = c->constant();
    if (c->firstAttribute() == LayoutAttribute::height) s.height = c->constant();
  }
  return {std::max(0.0, s.width), std::max(0.0, s.height)};
}

Size StackView::intrinsicContentSize() const {
  double along = 0, across = 0;
  int count = 0;
  for (const auto& v : arranged_) {
    if (v->isHidden()) continue;
    Size s = itemSize(*v);
    along += axis_ == Axis::horizontal ? s.width : s.height;
    across = std::max(across, axis_ == Axis::horizontal ? s.height : s.width);
    ++count;
  }
  if (count > 1) along += spacing_ * (count - 1);
  return axis_ == Axis::horizontal ? Size{along, across} : Size{across, along};
}

void StackView::layoutSubviews() {
  View::layoutSubviews();
  std::vector<std::shared_ptr<View>> visible;
  for (const auto& v : arranged_) {
    if (!v->isHidden()) visible.push_back(v);
  }
  if (visible.empty()) return;
  bool horizontal = axis_ == Axis::horizontal;
  double length = horizontal ? bounds().width() : bounds().height();
  double thickness = horizontal ? bounds().height() : bounds().width();
  std::size_t n = visible.size();
  std::vector<double> sizes(n);
  for (std::size_t i = 0; i < n; ++i) {
    Size s = itemSize(*visible[i]);
    sizes[i] = horizontal ? s.width : s.height;
  }
  double gap = spacing_;
  double total = spacing_ * static_cast<double>(n - 1);
  for (double s : sizes) total += s;
  switch (distribution_) {
    case Distribution::fillEqually: {
      double each = std::max(0.0, (length - spacing_ * static_cast<double>(n - 1)) / static_cast<double>(n));
      std::fill(sizes.begin(), sizes.end(), each);
      break;
    }
    case Distribution::equalSpacing:
      if (n > 1 && total < length) gap = spacing_ + (length - total) / static_cast<double>(n - 1);
      break;
    case Distribution::fill: {
      // The first view without a natural size takes the slack, else the last view.
      std::size_t flexible = n - 1;
      for (std::size_t i = 0; i < n; ++i) {
        Size natural = visible[i]->intrinsicContentSize();
        if ((horizontal ? natural.width : natural.height) < 0 && sizes[i] == 0) {
          flexible = i;
          break;
        }
      }
      sizes[flexible] = std::max(0.0, sizes[flexible] + length - total);
      break;
    }
  }
  double cursor = 0;
  for (std::size_t i = 0; i < n; ++i) {
    Size natural = itemSize(*visible[i]);
    double cross = horizontal ? natural.height : natural.width;
    double crossSize = alignment_ == Alignment::fill ? thickness : std::min(cross, thickness);
    double crossPos = 0;
    if (alignment_ == Alignment::center) crossPos = (thickness - crossSize) / 2;
    if (alignment_ == Alignment::trailing) crossPos = thickness - crossSize;
    Rect f = horizontal ? Rect{cursor, crossPos, sizes[i], crossSize} : Rect{crossPos, cursor, crossSize, sizes[i]};
    visible[i]->setBounds({visible[i]->bounds().origin, f.size});
    visible[i]->setCenter(f.center());
    cursor += sizes[i] + gap;
  }
}

}  // namespace platform::ui
