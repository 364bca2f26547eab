#pragma once

#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

// CGPath / UIBezierPath: moves, lines, cubic curves and arcs, closed or open, filled with the
// non-zero rule. Shape layers and masks draw it; nothing interprets it otherwise.
class LUMO_PLATFORM_EXPORT Path {
 public:
  enum class Op { moveTo, lineTo, curveTo, arc, close };
  struct Element {
    Op op;
    Point p1{}, p2{}, p3{};   // moveTo/lineTo: p1; curveTo: control p1, p2, end p3; arc: centre p1
    double radius = 0, startAngle = 0, endAngle = 0;
    bool clockwise = true;    // in y-down coordinates: increasing angle
  };

  static Path rect(const Rect& r);
  static Path roundedRect(const Rect& r, double cornerRadius);
  static Path ellipse(const Rect& r);

  void moveTo(Point p);
  void lineTo(Point p);
  void curveTo(Point control1, Point control2, Point end);
  void addArc(Point center, double radius, double startAngle, double endAngle, bool clockwise);
  void close();
  void append(const Path& other);

  const std::vector<Element>& elements() const { return elements_; }
  bool isEmpty() const { return elements_.empty(); }
  // Bounds of the points and arc extremes (control points included for curves).
  Rect bounds() const;

 private:
  std::vector<Element> elements_;
};

}  // namespace platform::ui
