#include "platform/ui/ScrollView.h"

#include <algorithm>

namespace platform::ui {

ScrollView::ScrollView(const Rect& frame) : View(frame) { setClipsToBounds(true); }

Size ScrollView::contentSize() const {
  if (contentSize_) return *contentSize_;
  double w = 0, h = 0;
  for (const auto& v : subviews()) {
    Rect f = v->frame();
    // A far edge pinned to the scroll view keeps its margin inside the content.
    double right = 0, bottom = 0;
    for (const auto& c : v->constraints()) {
      if (!c->isActive() || c->relation() != LayoutRelation::equal || c->secondItem().get() != this) continue;
      auto a = c->firstAttribute();
      if (a == LayoutAttribute::right || a == LayoutAttribute::trailing) right = std::max(0.0, -c->constant());
      if (a == LayoutAttribute::bottom) bottom = std::max(0.0, -c->constant());
    }
    w = std::max(w, f.maxX() + right);
    h = std::max(h, f.maxY() + bottom);
  }
  return {w, h};
}

Point ScrollView::clamp(Point offset) const {
  Size content = contentSize();
  double maxX = std::max(0.0, content.width - bounds().width());
  double maxY = std::max(0.0, content.height - bounds().height());
  return {std::clamp(offset.x, 0.0, maxX), std::clamp(offset.y, 0.0, maxY)};
}

void ScrollView::setContentOffset(Point offset, bool animated) {
  Rect b = bounds();
  b.origin = offset;
  if (animated) {
    View::animate(dispatch::Seconds(0.3), [this, b] { setBounds(b); });
  } else {
    setBounds(b);
  }
}

void ScrollView::touchesBegan(const TouchSet& touches) {
  if (!scrollEnabled_ || touches.empty()) return;
  dragStart_ = touches.front()->windowLocation();
  offsetAtStart_ = contentOffset();
}

void ScrollView::touchesMoved(const TouchSet& touches) {
  if (!scrollEnabled_ || touches.empty()) return;
  Point p = touches.front()->windowLocation();
  dragging_ = true;
  setContentOffset(clamp({offsetAtStart_.x - (p.x - dragStart_.x), offsetAtStart_.y - (p.y - dragStart_.y)}));
}

void ScrollView::touchesEnded(const TouchSet&) { dragging_ = false; }
void ScrollView::touchesCancelled(const TouchSet&) { dragging_ = false; }

}  // namespace platform::ui
