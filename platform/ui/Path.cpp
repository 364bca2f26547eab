#include "platform/ui/Path.h"

#include <numbers>

namespace platform::ui {

Path Path::rect(const Rect& r) {
  Path p;
  p.moveTo(r.origin);
  p.lineTo({r.maxX(), r.minY()});
  p.lineTo({r.maxX(), r.maxY()});
  p.lineTo({r.minX(), r.maxY()});
  p.close();
  return p;
}

Path Path::roundedRect(const Rect& r, double cornerRadius) {
  double rad = std::clamp(cornerRadius, 0.0, std::min(r.width(), r.height()) / 2);
  if (rad <= 0) return rect(r);
  constexpr double pi = std::numbers::pi;
  Path p;
  p.moveTo({r.minX() + rad, r.minY()});
  p.addArc({r.maxX() - rad, r.minY() + rad}, rad, -pi / 2, 0, true);
  p.addArc({r.maxX() - rad, r.maxY() - rad}, rad, 0, pi / 2, true);
  p.addArc({r.minX() + rad, r.maxY() - rad}, rad, pi / 2, pi, true);
  p.addArc({r.minX() + rad, r.minY() + rad}, rad, pi, 3 * pi / 2, true);
  p.close();
  return p;
}

Path Path::ellipse(const Rect& r) {
  // Four cubic quarter arcs; kappa places the control points of a circle's quarter.
  constexpr double k = 0.5522847498;
  double cx = r.midX(), cy = r.midY(), rx = r.width() / 2, ry = r.height() / 2;
  Path p;
  p.moveTo({cx + rx, cy});
  p.curveTo({cx + rx, cy + k * ry}, {cx + k * rx, cy + ry}, {cx, cy + ry});
  p.curveTo({cx - k * rx, cy + ry}, {cx - rx, cy + k * ry}, {cx - rx, cy});
  p.curveTo({cx - rx, cy - k * ry}, {cx - k * rx, cy - ry}, {cx, cy - ry});
  p.curveTo({cx + k * rx, cy - ry}, {cx + rx, cy - k * ry}, {cx + rx, cy});
  p.close();
  return p;
}

void Path::moveTo(Point p) { elements_.push_back({Op::moveTo, p}); }
void Path::lineTo(Point p) { elements_.push_back({Op::lineTo, p}); }
void Path::curveTo(Point c1, Point c2, Point end) { elements_.push_back({Op::curveTo, c1, c2, end}); }
void Path::addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise) {
  Element e{Op::arc, center};
  e.radius = radius;
  e.startAngle = startAngle;
  e.endAngle = endAngle;
  e.clockwise = clockwise;
  elements_.push_back(e);
}
void Path::close() { elements_.push_back({Op::close}); }
void Path::append(const Path& other) {
  elements_.insert(elements_.end(), other.elements_.begin(), other.elements_.end());
}

Rect Path::bounds() const {
  bool any = false;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  auto add = [&](Point p) {
    if (!any) {
      x0 = x1 = p.x;
      y0 = y1 = p.y;
      any = true;
      return;
    }
    x0 = std::min(x0, p.x);
    x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y);
    y1 = std::max(y1, p.y);
  };
  for (const auto& e : elements_) {
    switch (e.op) {
      case Op::moveTo:
      case Op::lineTo: add(e.p1); break;
      case Op::curveTo: add(e.p1); add(e.p2); add(e.p3); break;
      case Op::arc:
        add({e.p1.x - e.radius, e.p1.y - e.radius});
        add({e.p1.x + e.radius, e.p1.y + e.radius});
        break;
      case Op::close: break;
    }
  }
  return any ? Rect{x0, y0, x1 - x0, y1 - y0} : Rect{};
}

}  // namespace platform::ui
