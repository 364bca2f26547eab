#include "platform/ui/LayoutConstraint.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "platform/dispatch/MainLoop.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace platform::ui {
namespace {

constexpr double kUnbounded = std::numeric_limits<double>::infinity();

bool isHorizontal(LayoutAttribute a) {
  return a == LayoutAttribute::left || a == LayoutAttribute::right || a == LayoutAttribute::leading ||
         a == LayoutAttribute::trailing || a == LayoutAttribute::width || a == LayoutAttribute::centerX;
}

double attributeValue(const Rect& r, LayoutAttribute a) {
  switch (a) {
    case LayoutAttribute::left:
    case LayoutAttribute::leading: return r.minX();
    case LayoutAttribute::right:
    case LayoutAttribute::trailing: return r.maxX();
    case LayoutAttribute::top: return r.minY();
    case LayoutAttribute::bottom: return r.maxY();
    case LayoutAttribute::width: return r.width();
    case LayoutAttribute::height: return r.height();
    case LayoutAttribute::centerX: return r.midX();
    case LayoutAttribute::centerY: return r.midY();
    default: return 0;
  }
}

// The untransformed frame (what Auto Layout places: centre and bounds size).
Rect alignmentRect(const View& v) {
  Size s = v.bounds().size;
  return {v.center().x - s.width / 2, v.center().y - s.height / 2, s.width, s.height};
}

// Rectangle of `other` in the coordinates of `view`'s superview.
std::optional<Rect> referenceRect(const View& view, const View& other) {
  auto parent = view.superview();
  if (!parent) return std::nullopt;
  if (&other == parent.get()) return Rect{0, 0, other.bounds().width(), other.bounds().height()};
  if (other.superview() == parent) return alignmentRect(other);
  return other.convertRectTo({0, 0, other.bounds().width(), other.bounds().height()}, parent.get());
}

enum class Edge { min, max, center, size };
Edge edgeOf(LayoutAttribute a) {
  switch (a) {
    case LayoutAttribute::left:
    case LayoutAttribute::leading:
    case LayoutAttribute::top: return Edge::min;
    case LayoutAttribute::right:
    case LayoutAttribute::trailing:
    case LayoutAttribute::bottom: return Edge::max;
    case LayoutAttribute::centerX:
    case LayoutAttribute::centerY: return Edge::center;
    default: return Edge::size;
  }
}

struct Axis {
  std::optional<double> min, max, center, size;
  double lowMin = -kUnbounded, highMax = kUnbounded;  // minimum margins
  double sizeAtLeast = 0, sizeAtMost = kUnbounded;
};

// Fixed size along one axis from a constant constraint, or none.
std::optional<double> fixedSize(const View& v, bool horizontal) {
  for (const auto& c : v.constraints()) {
    if (!c->isActive() || c->relation() != LayoutRelation::equal || c->secondItem()) continue;
    auto a = c->firstAttribute();
    if ((horizontal && a == LayoutAttribute::width) || (!horizontal && a == LayoutAttribute::height)) {
      return c->constant();
    }
  }
  return std::nullopt;
}

double fittingExtent(const View& v, bool horizontal, double limit, int depth);

// The constant of `child`'s equal constraint tying its `childEdge` to `target`'s
// `targetEdge` along the axis, if there is one.
std::optional<double> pin(const View& child, bool horizontal, Edge childEdge, const View& target, Edge targetEdge) {
  for (const auto& c : child.constraints()) {
    if (!c->isActive() || c->relation() != LayoutRelation::equal || c->secondItem().get() != &target) continue;
    if (isHorizontal(c->firstAttribute()) != horizontal || c->multiplier() != 1.0) continue;
    if (edgeOf(c->firstAttribute()) == childEdge && edgeOf(c->secondAttribute()) == targetEdge) return c->constant();
  }
  return std::nullopt;
}

// Size derived from a chain of subviews along the axis: the first pinned to `v`'s leading
// (top) edge, each next one to the previous one's far edge, the last to `v`'s trailing
// (bottom) edge (a container hugging its content). kNoIntrinsicMetric without such a chain.
double contentExtent(const View& v, bool horizontal, double limit, int depth) {
  if (depth > 8) return kNoIntrinsicMetric;
  const auto& children = v.subviews();
  for (const auto& first : children) {
    auto lead = pin(*first, horizontal, Edge::min, v, Edge::min);
    if (!lead) continue;
    double total = *lead;
    const View* current = first.get();
    for (std::size_t links = 0; current && links <= children.size(); ++links) {
      double inner = fittingExtent(*current, horizontal, limit - total, depth + 1);
      if (inner < 0) break;
      total += inner;
      if (auto trail = pin(*current, horizontal, Edge::max, v, Edge::max)) return total - *trail;
      const View* next = nullptr;
      for (const auto& candidate : children) {
        if (auto gap = pin(*candidate, horizontal, Edge::min, *current, Edge::max)) {
          total += *gap;
          next = candidate.get();
          break;
        }
      }
      current = next;
    }
  }
  return kNoIntrinsicMetric;
}

// What the view wants along the axis: a fixed size, its natural size (wrapped to `limit`
// across for text), or the content it hugs.
double fittingExtent(const View& v, bool horizontal, double limit, int depth) {
  if (auto fixed = fixedSize(v, horizontal)) return *fixed;
  Size intrinsic = v.intrinsicContentSize();
  double natural = horizontal ? intrinsic.width : intrinsic.height;
  if (natural >= 0) {
    Size fit = v.sizeThatFits(horizontal ? Size{limit, kUnbounded} : Size{v.bounds().width(), limit});
    return horizontal ? std::min(fit.width, limit) : fit.height;
  }
  return contentExtent(v, horizontal, limit, depth);
}

// Whether the view pins its leading (top) edge to its scroll view along the axis: then a
// pin of its far edge to the scroll view sets the content size, not the view's size.
bool pinnedInScrollContent(const View& view, bool horizontal) {
  auto parent = view.superview();
  if (!dynamic_cast<const ScrollView*>(parent.get())) return false;
  return pin(view, horizontal, Edge::min, *parent, Edge::min).has_value();
}

Axis collect(View& view, bool horizontal) {
  Axis axis;
  bool inScrollContent = pinnedInScrollContent(view, horizontal);
  auto parent = view.superview();
  for (const auto& c : view.constraints()) {
    if (!c->isActive() || isHorizontal(c->firstAttribute()) != horizontal) continue;
    Edge edge = edgeOf(c->firstAttribute());
    if (inScrollContent && edge == Edge::max && c->secondItem() == parent) continue;
    std::optional<double> value;
    if (auto other = c->secondItem()) {
      auto rect = referenceRect(view, *other);
      if (!rect) continue;
      value = attributeValue(*rect, c->secondAttribute()) * c->multiplier() + c->constant();
    } else if (edge == Edge::size) {
      value = c->constant();
    }
    if (!value) continue;
    switch (c->relation()) {
      case LayoutRelation::equal:
        if (edge == Edge::min) axis.min = value;
        else if (edge == Edge::max) axis.max = value;
        else if (edge == Edge::center) axis.center = value;
        else axis.size = value;
        break;
      case LayoutRelation::greaterThanOrEqual:
        if (edge == Edge::min) axis.lowMin = std::max(axis.lowMin, *value);
        else if (edge == Edge::size) axis.sizeAtLeast = std::max(axis.sizeAtLeast, *value);
        break;
      case LayoutRelation::lessThanOrEqual:
        if (edge == Edge::max) axis.highMax = std::min(axis.highMax, *value);
        else if (edge == Edge::size) axis.sizeAtMost = std::min(axis.sizeAtMost, *value);
        break;
    }
  }
  return axis;
}

// Resolves one axis into (position, size); `current` are the present values.
std::pair<double, double> solve(const Axis& a, double currentPos, double currentSize, double fitting) {
  double size;
  if (a.size) size = *a.size;
  else if (a.min && a.max) size = *a.max - *a.min;
  else if (fitting >= 0) size = fitting;
  else size = currentSize;
  size = std::clamp(size, a.sizeAtLeast, std::max(a.sizeAtLeast, a.sizeAtMost));
  if (a.lowMin > -kUnbounded && a.highMax < kUnbounded) size = std::min(size, std::max(0.0, a.highMax - a.lowMin));
  size = std::max(0.0, size);
  double pos;
  if (a.min) pos = *a.min;
  else if (a.max) pos = *a.max - size;
  else if (a.center) pos = *a.center - size / 2;
  else pos = currentPos;
  if (pos < a.lowMin) pos = a.lowMin;
  if (pos + size > a.highMax) pos = a.highMax - size;
  return {pos, size};
}

}  // namespace

LayoutConstraint::LayoutConstraint(std::weak_ptr<View> first, LayoutAttribute firstAttribute, LayoutRelation relation,
                                   std::weak_ptr<View> second, LayoutAttribute secondAttribute, double multiplier,
                                   double constant)
    : first_(std::move(first)), firstAttribute_(firstAttribute), relation_(relation), second_(std::move(second)),
      secondAttribute_(secondAttribute), multiplier_(multiplier), constant_(constant) {}

void LayoutConstraint::normalise() {
  // "parent.edge = child.edge + c" is kept as "child.edge = parent.edge - c", so every
  // constraint sits with the view it places.
  auto a = first_.lock(), b = second_.lock();
  if (a && b && b->superview() == a && multiplier_ == 1.0) {
    std::swap(first_, second_);
    std::swap(firstAttribute_, secondAttribute_);
    constant_ = -constant_;
    if (relation_ == LayoutRelation::lessThanOrEqual) relation_ = LayoutRelation::greaterThanOrEqual;
    else if (relation_ == LayoutRelation::greaterThanOrEqual) relation_ = LayoutRelation::lessThanOrEqual;
  }
}

void LayoutConstraint::activate(const std::vector<std::shared_ptr<LayoutConstraint>>& list) {
  auto constraints = list;  // `list` may be a view's own list, which this changes
  for (const auto& c : constraints) {
    if (c) c->setActive(true);
  }
}

void LayoutConstraint::deactivate(const std::vector<std::shared_ptr<LayoutConstraint>>& list) {
  auto constraints = list;  // `list` may be a view's own list, which this changes
  for (const auto& c : constraints) {
    if (c) c->setActive(false);
  }
}

void LayoutConstraint::setActive(bool active) {
  if (active == active_) return;
  if (active) normalise();
  auto view = first_.lock();
  if (!view) return;
  active_ = active;
  auto& list = view->constraints_;
  if (active) {
    list.push_back(shared_from_this());
    view->translatesAutoresizing_ = false;
  } else {
    list.erase(std::remove(list.begin(), list.end(), shared_from_this()), list.end());
  }
  constraintsChanged(view);
}

void LayoutConstraint::setConstant(double constant) {
  if (constant == constant_) return;
  constant_ = constant;
  if (auto view = first_.lock(); view && active_) constraintsChanged(view);
}

namespace {
// Views whose constraints changed during a layout pass (main thread only).
std::vector<std::weak_ptr<View>> changedDuringLayout;
}  // namespace

bool LayoutConstraint::insideLayoutPass(const View& view) {
  for (const View* v = &view; v; v = v->superview_.lock().get()) {
    if (v->inLayout_) return true;
  }
  return false;
}

void LayoutConstraint::constraintsChanged(const std::shared_ptr<View>& view) {
  auto parent = view->superview();
  if (!parent || !insideLayoutPass(*parent)) {
    if (parent) parent->setNeedsLayout();
    view->setNeedsLayout();
    return;
  }
  changedDuringLayout.push_back(view);
  // One block per change (the first to run settles them all): a flag saying "already
  // posted" would stay stuck if the main loop dropped the block.
  dispatch::MainLoop::post([] { settleChangedConstraints(); });
}

void LayoutConstraint::settleChangedConstraints() {
  if (changedDuringLayout.empty()) return;
  auto changed = std::move(changedDuringLayout);
  changedDuringLayout.clear();
  for (const auto& weak : changed) {
    auto view = weak.lock();
    if (!view || detail::constraintSignature(*view) == view->resolvedConstraints_) continue;
    if (auto parent = view->superview()) parent->setNeedsLayout();
    view->setNeedsLayout();
  }
}

std::shared_ptr<LayoutConstraint> LayoutAnchor::make(const LayoutAnchor* other, LayoutRelation relation,
                                                     double multiplier, double constant) const {
  return std::make_shared<LayoutConstraint>(view_, attribute_, relation,
                                            other ? other->view_ : std::weak_ptr<View>{},
                                            other ? other->attribute_ : LayoutAttribute::notAnAttribute, multiplier,
                                            constant);
}

std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintEqualTo(const LayoutAnchor& o, double c) const {
  return make(&o, LayoutRelation::equal, 1, c);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintGreaterThanOrEqualTo(const LayoutAnchor& o, double c) const {
  return make(&o, LayoutRelation::greaterThanOrEqual, 1, c);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintLessThanOrEqualTo(const LayoutAnchor& o, double c) const {
  return make(&o, LayoutRelation::lessThanOrEqual, 1, c);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintEqualToConstant(double c) const {
  return make(nullptr, LayoutRelation::equal, 1, c);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintGreaterThanOrEqualToConstant(double c) const {
  return make(nullptr, LayoutRelation::greaterThanOrEqual, 1, c);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintLessThanOrEqualToConstant(double c) const {
  return make(nullptr, LayoutRelation::lessThanOrEqual, 1, c);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::constraintEqualTo(const LayoutAnchor& o, double m, double c) const {
  return make(&o, LayoutRelation::equal, m, c);
}

namespace detail {

std::size_t constraintSignature(const View& view) {
  std::size_t hash = 1469598103934665603ull;
  auto mix = [&hash](std::size_t value) { hash = (hash ^ value) * 1099511628211ull; };
  for (const auto& c : view.constraints()) {
    if (!c->isActive()) continue;
    mix(std::hash<const View*>{}(c->secondItem().get()));
    mix(static_cast<std::size_t>(c->firstAttribute()) * 64 + static_cast<std::size_t>(c->secondAttribute()) * 4 +
        static_cast<std::size_t>(c->relation()));
    mix(std::hash<double>{}(c->multiplier()));
    mix(std::hash<double>{}(c->constant()));
  }
  return hash;
}

void resolveConstraints(View& view) {
  if (!view.superview()) return;
  view.resolvedConstraints_ = constraintSignature(view);
  Rect current = alignmentRect(view);
  Axis h = collect(view, true);
  Axis v = collect(view, false);
  double widthLimit = kUnbounded;
  if (h.size) widthLimit = *h.size;
  else if (h.min && h.max) widthLimit = *h.max - *h.min;
  else if (h.lowMin > -kUnbounded && h.highMax < kUnbounded) widthLimit = h.highMax - h.lowMin;
  auto [x, w] = solve(h, current.minX(), current.width(), fittingExtent(view, true, widthLimit, 0));
  // Height is fitted for the resolved width, so wrapping text grows downward.
  double heightFit = kNoIntrinsicMetric;
  if (!v.size && !(v.min && v.max)) {
    Size intrinsic = view.intrinsicContentSize();
    if (auto fixed = fixedSize(view, false)) heightFit = *fixed;
    else if (intrinsic.height >= 0) heightFit = view.sizeThatFits({w, kUnbounded}).height;
    else heightFit = fittingExtent(view, false, kUnbounded, 0);
  }
  auto [y, hgt] = solve(v, current.minY(), current.height(), heightFit);
  Rect b = view.bounds();
  if (b.width() != w || b.height() != hgt) view.setBounds({b.origin, {w, hgt}});
  Point c{x + w / 2, y + hgt / 2};
  if (view.center() != c) view.setCenter(c);
}

}  // namespace detail
}  // namespace platform::ui
