#include "platform/ui/Label.h"

#include <cmath>
#include <limits>

#include "platform/ui/detail/TextLayout.h"

namespace platform::ui {

Label::Label(const Rect& frame) : View(frame) { setUserInteractionEnabled(false); }

void Label::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  invalidateIntrinsicContentSize();
}

void Label::setFont(const Font& font) {
  font_ = font;
  invalidateIntrinsicContentSize();
}

void Label::setNumberOfLines(int lines) {
  lines_ = std::max(0, lines);
  invalidateIntrinsicContentSize();
}

Size Label::measure(const std::string& text, const Font& font, double maxWidth, int numberOfLines) {
  detail::TextStyle style;
  style.text = text;
  style.fontSize = font.pointSize;
  style.bold = font.bold;
  style.numberOfLines = numberOfLines;
  // One line is measured whole and then clipped to the limit (the ellipsis goes inside it).
  style.wrapWidth = numberOfLines != 1 ? std::max(0.0, maxWidth) : 0;
  Size s = detail::measure(style);
  if (numberOfLines == 1 && maxWidth > 0) s.width = std::min(s.width, maxWidth);
  return s;
}

Size Label::intrinsicContentSize() const { return measure(text_, font_, 0, lines_); }

Size Label::sizeThatFits(const Size& limit) const {
  double width = std::isfinite(limit.width) && limit.width > 0 ? limit.width : 0;
  return measure(text_, font_, width, lines_);
}

double Label::effectiveFontSize() const {
  if (!shrink_ || text_.empty() || bounds().width() <= 0) return font_.pointSize;
  double floor = font_.pointSize * (minimumScale_ > 0 ? minimumScale_ : 0.1);
  auto fits = [&](double size) {
    Font f = font_.withSize(size);
    if (lines_ == 1) return measure(text_, f, 0, 1).width <= bounds().width();
    Size s = measure(text_, f, bounds().width(), lines_);
    return s.height <= bounds().height();
  };
  if (fits(font_.pointSize)) return font_.pointSize;
  if (lines_ == 1) {
    // Width scales linearly with the size: one measurement gives the answer.
    // Width scales about linearly with the size; glyph rounding may need a few small steps.
    double full = measure(text_, font_, 0, 1).width;
    double size = std::max(floor, font_.pointSize * bounds().width() / full);
    for (int i = 0; i < 20 && size > floor && !fits(size); ++i) size = std::max(floor, size - 0.25);
    return size;
  }
  for (double size = font_.pointSize - 0.5; size > floor; size -= 0.5) {
    if (fits(size)) return size;
  }
  return floor;
}

}  // namespace platform::ui
