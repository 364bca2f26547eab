#pragma once

#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/View.h"

namespace platform::ui {

// UIStackView: lays its arranged subviews out along an axis. Sizes along the axis come from
// fixed-size constraints or the views' natural sizes; hidden views take no room.
class LUMO_PLATFORM_EXPORT StackView : public View {
 public:
  enum class Axis { horizontal, vertical };
  enum class Alignment { fill, leading, center, trailing };
  enum class Distribution { fill, fillEqually, equalSpacing };

  static std::shared_ptr<StackView> make(const std::vector<std::shared_ptr<View>>& views = {});
  explicit StackView(const Rect& frame = {}) : View(frame) {}

  Axis axis() const { return axis_; }
  void setAxis(Axis axis) { axis_ = axis; invalidateIntrinsicContentSize(); }
  double spacing() const { return spacing_; }
  void setSpacing(double spacing) { spacing_ = spacing; invalidateIntrinsicContentSize(); }
  Alignment alignment() const { return alignment_; }
  void setAlignment(Alignment alignment) { alignment_ = alignment; setNeedsLayout(); }
  Distribution distribution() const { return distribution_; }
  void setDistribution(Distribution distribution) { distribution_ = distribution; setNeedsLayout(); }

  const std::vector<std::shared_ptr<View>>& arrangedSubviews() const { return arranged_; }
  void addArrangedSubview(const std::shared_ptr<View>& view);
  void insertArrangedSubview(const std::shared_ptr<View>& view, std::size_t index);
  // Stops arranging the view; it stays a subview (as in UIKit).
  void removeArrangedSubview(const std::shared_ptr<View>& view);

  void layoutSubviews() override;
  Size intrinsicContentSize() const override;
  void willRemoveSubview(const std::shared_ptr<View>& view) override;

 private:
  // Natural size of an arranged view: fixed-size constraints first, then intrinsic.
  Size itemSize(const View& view) const;
  Axis axis_ = Axis::horizontal;
  double spacing_ = 0;
  Alignment alignment_ = Alignment::fill;
  Distribution distribution_ = Distribution::fill;
  std::vector<std::shared_ptr<View>> arranged_;
};

}  // namespace platform::ui
