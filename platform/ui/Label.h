#pragma once

#include <string>

#include "platform/PlatformExport.h"
#include "platform/ui/Font.h"
#include "platform/ui/View.h"

namespace platform::ui {

// UILabel: text in the system face, measured with pango. One line by default (truncated
// with an ellipsis); numberOfLines 0 wraps without limit. With adjustsFontSizeToFitWidth the
// font shrinks (down to minimumScaleFactor) until the text fits the bounds. Not interactive
// by default.
class LUMO_PLATFORM_EXPORT Label : public View {
 public:
  static std::shared_ptr<Label> make(const Rect& frame = {}) { return std::make_shared<Label>(frame); }
  explicit Label(const Rect& frame = {});

  const std::string& text() const { return text_; }
  void setText(std::string text);
  Font font() const { return font_; }
  void setFont(const Font& font);
  Color textColor() const { return textColor_; }
  void setTextColor(const Color& color) { textColor_ = color; }
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment alignment) { alignment_ = alignment; }
  int numberOfLines() const { return lines_; }
  void setNumberOfLines(int lines);
  bool adjustsFontSizeToFitWidth() const { return shrink_; }
  void setAdjustsFontSizeToFitWidth(bool on) { shrink_ = on; }
  double minimumScaleFactor() const { return minimumScale_; }
  void setMinimumScaleFactor(double factor) { minimumScale_ = std::clamp(factor, 0.0, 1.0); }

  // The point size the text is drawn at in the current bounds (after shrinking).
  double effectiveFontSize() const;
  // Size of `text` in `font`, wrapped at `maxWidth` when lines != 1 (0 = no limit).
  static Size measure(const std::string& text, const Font& font, double maxWidth = 0, int numberOfLines = 1);

  Size intrinsicContentSize() const override;
  Size sizeThatFits(const Size& limit) const override;

 private:
  std::string text_;
  Font font_ = Font::systemFont(17);
  Color textColor_ = Color::black();
  TextAlignment alignment_ = TextAlignment::natural;
  int lines_ = 1;
  bool shrink_ = false;
  double minimumScale_ = 0;
};

}  // namespace platform::ui
