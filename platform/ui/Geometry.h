#pragma once

#include <algorithm>
#include <cmath>

#include "platform/PlatformExport.h"

namespace platform::ui {

// Points, sizes and rectangles in points, y growing downward (CoreGraphics' shapes).
struct LUMO_PLATFORM_EXPORT Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct LUMO_PLATFORM_EXPORT Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

// Returned by views without an intrinsic size along an axis.
inline constexpr double kNoIntrinsicMetric = -1.0;

struct LUMO_PLATFORM_EXPORT Rect {
  Point origin;
  Size size;

  Rect() = default;
  Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}
  Rect(Point o, Size s) : origin(o), size(s) {}

  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double midX() const { return origin.x + size.width / 2; }
  double midY() const { return origin.y + size.height / 2; }
  double width() const { return size.width; }
  double height() const { return size.height; }
  Point center() const { return {midX(), midY()}; }
  bool isEmpty() const { return size.width <= 0 || size.height <= 0; }
  bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
  Rect insetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
  }
  Rect offsetBy(double dx, double dy) const { return {origin.x + dx, origin.y + dy, size.width, size.height}; }
  Rect intersection(const Rect& o) const {
    double x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
    double x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
  }
  bool intersects(const Rect& o) const { return !intersection(o).isEmpty(); }
  bool operator==(const Rect&) const = default;
};

struct LUMO_PLATFORM_EXPORT EdgeInsets {
  double top = 0;
  double left = 0;
  double bottom = 0;
  double right = 0;
  bool operator==(const EdgeInsets&) const = default;
};

// CGAffineTransform: [a b 0; c d 0; tx ty 1], applied as x' = a x + c y + tx, y' = b x + d y + ty.
struct LUMO_PLATFORM_EXPORT AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static AffineTransform identity() { return {}; }
  static AffineTransform rotation(double radians) {
    double cs = std::cos(radians), sn = std::sin(radians);
    return {cs, sn, -sn, cs, 0, 0};
  }
  static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
  static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }

  bool isIdentity() const { return *this == AffineTransform{}; }
  // this applied first, then `o` (CGAffineTransformConcat).
  AffineTransform concat(const AffineTransform& o) const {
    return {a * o.a + b * o.c,        a * o.b + b * o.d,        c * o.a + d * o.c,
            c * o.b + d * o.d,        tx * o.a + ty * o.c + o.tx, tx * o.b + ty * o.d + o.ty};
  }
  AffineTransform rotated(double radians) const { return rotation(radians).concat(*this); }
  AffineTransform scaled(double sx, double sy) const { return scale(sx, sy).concat(*this); }
  AffineTransform translated(double x, double y) const { return translation(x, y).concat(*this); }
  AffineTransform inverted() const {
    double det = a * d - b * c;
    if (std::fabs(det) < 1e-12) return *this;  // CoreGraphics returns the input when singular
    return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
  }
  Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // The rotation angle it carries (atan2 of b, a).
  double angle() const { return std::atan2(b, a); }
  bool operator==(const AffineTransform&) const = default;
};

inline Rect applyToRect(const AffineTransform& t, const Rect& r) {
  Point p[4] = {t.apply(r.origin), t.apply({r.maxX(), r.minY()}), t.apply({r.minX(), r.maxY()}),
                t.apply({r.maxX(), r.maxY()})};
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const auto& q : p) {
    x0 = std::min(x0, q.x);
    x1 = std::max(x1, q.x);
    y0 = std::min(y0, q.y);
    y1 = std::max(y1, q.y);
  }
  return {x0, y0, x1 - x0, y1 - y0};
}

}  // namespace platform::ui
