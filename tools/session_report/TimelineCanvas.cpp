#include "tools/session_report/TimelineCanvas.h"

#include <algorithm>
#include <cmath>

namespace report {

using namespace platform::ui;

void TimelineCanvas::fill(const Rect& rect, const Color& color) { fill(Path::rect(rect), color); }

void TimelineCanvas::fill(const Path& path, const Color& color) {
  auto layer = ShapeLayer::make();
  layer->setFrame(view_->bounds());
  layer->path = path;
  layer->fillColor = color;
  view_->layer()->addSublayer(layer);
}

void TimelineCanvas::stroke(const Path& path, const Color& color, double width) {
  auto layer = ShapeLayer::make();
  layer->setFrame(view_->bounds());
  layer->path = path;
  layer->fillColor = Color::clear();
  layer->strokeColor = color;
  layer->lineWidth = width;
  view_->layer()->addSublayer(layer);
}

void TimelineCanvas::line(Point from, Point to, const Color& color, double width) {
  Path path;
  path.moveTo(from);
  path.lineTo(to);
  stroke(path, color, width);
}

void TimelineCanvas::dashedLine(Point from, Point to, const Color& color, double width, double dash, double space) {
  double length = std::hypot(to.x - from.x, to.y - from.y);
  if (length <= 0) return;
  double dx = (to.x - from.x) / length, dy = (to.y - from.y) / length;
  Path path;
  for (double along = 0; along < length; along += dash + space) {
    double until = std::min(length, along + dash);
    path.moveTo({from.x + dx * along, from.y + dy * along});
    path.lineTo({from.x + dx * until, from.y + dy * until});
  }
  stroke(path, color, width);
}

Size TimelineCanvas::measure(const std::string& text, const Font& font) { return Label::measure(text, font); }

Rect TimelineCanvas::text(const std::string& text, Point at, const Font& font, const Color& color,
                          TextAlignment alignment, double maxWidth) {
  Size size = measure(text, font);
  double width = std::ceil(maxWidth > 0 ? std::min(size.width, maxWidth) : size.width);
  double x = alignment == TextAlignment::right ? at.x - width
             : alignment == TextAlignment::center ? at.x - width / 2
                                                   : at.x;
  Rect frame{x, at.y, width, std::ceil(size.height)};
  auto label = Label::make(frame);
  label->setText(text);
  label->setFont(font);
  label->setTextColor(color);
  view_->addSubview(label);
  return frame;
}

}  // namespace report
