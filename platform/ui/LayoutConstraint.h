#pragma once

#include <memory>
#include <vector>

#include "platform/PlatformExport.h"

namespace platform::ui {

class View;

enum class LayoutAttribute { left, right, top, bottom, leading, trailing, width, height, centerX, centerY, notAnAttribute };
enum class LayoutRelation { lessThanOrEqual, equal, greaterThanOrEqual };

// One relation "first.attribute (= | <= | >=) second.attribute × multiplier + constant".
// This is a small helper, not a solver: it covers pins, centring, fixed and equal sizes,
// minimum margins and containers sized by a chain of subviews pinned edge to edge, resolved
// by the superview's layout pass in subview order. Conflicting constraints are not
// reported: the leading/top pin and a fixed size win. Inside a ScrollView, edges pinned to
// the scroll view refer to its content (its trailing and bottom pins make the content size)
// while widths and heights equal to it refer to its frame.
class LUMO_PLATFORM_EXPORT LayoutConstraint : public std::enable_shared_from_this<LayoutConstraint> {
 public:
  LayoutConstraint(std::weak_ptr<View> first, LayoutAttribute firstAttribute, LayoutRelation relation,
                   std::weak_ptr<View> second, LayoutAttribute secondAttribute, double multiplier, double constant);

  static void activate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
  static void deactivate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

  bool isActive() const { return active_; }
  void setActive(bool active);
  double constant() const { return constant_; }
  void setConstant(double constant);
  double multiplier() const { return multiplier_; }
  LayoutRelation relation() const { return relation_; }
  std::shared_ptr<View> firstItem() const { return first_.lock(); }
  std::shared_ptr<View> secondItem() const { return second_.lock(); }
  LayoutAttribute firstAttribute() const { return firstAttribute_; }
  LayoutAttribute secondAttribute() const { return secondAttribute_; }

 private:
  void normalise();
  // Marks the layout of a view whose constraints changed. Inside a layout pass the check
  // waits until the pass is over, so a page that rebuilds the same constraints on every
  // pass does not ask for another pass.
  static void constraintsChanged(const std::shared_ptr<View>& view);
  static bool insideLayoutPass(const View& view);
  static void settleChangedConstraints();
  std::weak_ptr<View> first_;
  LayoutAttribute firstAttribute_;
  LayoutRelation relation_;
  std::weak_ptr<View> second_;
  LayoutAttribute secondAttribute_;
  double multiplier_;
  double constant_;
  bool active_ = false;
};

using ConstraintList = std::vector<std::shared_ptr<LayoutConstraint>>;

// NSLayoutAnchor: one edge, centre or dimension of a view, making inactive constraints.
class LUMO_PLATFORM_EXPORT LayoutAnchor {
 public:
  LayoutAnchor(std::weak_ptr<View> view, LayoutAttribute attribute) : view_(std::move(view)), attribute_(attribute) {}

  std::shared_ptr<LayoutConstraint> constraintEqualTo(const LayoutAnchor& other, double constant = 0) const;
  std::shared_ptr<LayoutConstraint> constraintGreaterThanOrEqualTo(const LayoutAnchor& other, double constant = 0) const;
  std::shared_ptr<LayoutConstraint> constraintLessThanOrEqualTo(const LayoutAnchor& other, double constant = 0) const;
  // Dimensions only.
  std::shared_ptr<LayoutConstraint> constraintEqualToConstant(double constant) const;
  std::shared_ptr<LayoutConstraint> constraintGreaterThanOrEqualToConstant(double constant) const;
  std::shared_ptr<LayoutConstraint> constraintLessThanOrEqualToConstant(double constant) const;
  std::shared_ptr<LayoutConstraint> constraintEqualTo(const LayoutAnchor& other, double multiplier, double constant) const;

  std::shared_ptr<View> view() const { return view_.lock(); }
  LayoutAttribute attribute() const { return attribute_; }

 private:
  std::shared_ptr<LayoutConstraint> make(const LayoutAnchor* other, LayoutRelation relation, double multiplier,
                                         double constant) const;
  std::weak_ptr<View> view_;
  LayoutAttribute attribute_;
};

namespace detail {
// Places `view` (center and bounds size) from its active constraints. Called by the
// superview's layout pass.
LUMO_PLATFORM_EXPORT void resolveConstraints(View& view);
// A hash of the view's active constraints (items, attributes, relation, multiplier,
// constant) in order; equal for constraints rebuilt identically.
LUMO_PLATFORM_EXPORT std::size_t constraintSignature(const View& view);
}  // namespace detail

}  // namespace platform::ui
