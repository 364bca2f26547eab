#pragma once

#include "platform/PlatformExport.h"
#include "platform/ui/View.h"

namespace platform::ui {

// UIScrollView: its bounds origin is the content offset. A finger dragged over content that
// does not handle touches itself scrolls it, clamped to the content size. Without an
// explicit content size, the content size is the extent of the subviews (with the margins
// of their trailing and bottom pins to the scroll view). Constraints from a subview to the
// scroll view's edges place it in the content; its width or height made equal to the scroll
// view's follows the frame, so content pinned at the top, with equal width and a chain of
// subviews, scrolls vertically at its natural height.
class LUMO_PLATFORM_EXPORT ScrollView : public View {
 public:
  static std::shared_ptr<ScrollView> make(const Rect& frame = {}) { return std::make_shared<ScrollView>(frame); }
  explicit ScrollView(const Rect& frame = {});

  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point offset, bool animated = false);
  Size contentSize() const;
  void setContentSize(const Size& size) { contentSize_ = size; }
  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
  bool isDragging() const { return dragging_; }
  bool showsVerticalScrollIndicator = true;
  bool showsHorizontalScrollIndicator = true;
  bool alwaysBounceVertical = false;

  void touchesBegan(const TouchSet& touches) override;
  void touchesMoved(const TouchSet& touches) override;
  void touchesEnded(const TouchSet& touches) override;
  void touchesCancelled(const TouchSet& touches) override;

 private:
  Point clamp(Point offset) const;
  std::optional<Size> contentSize_;
  bool scrollEnabled_ = true;
  bool dragging_ = false;
  Point dragStart_{};
  Point offsetAtStart_{};
};

}  // namespace platform::ui
