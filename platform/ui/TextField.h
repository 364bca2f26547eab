#pragma once

#include <string>

#include "platform/PlatformExport.h"
#include "platform/ui/Control.h"
#include "platform/ui/Font.h"

namespace platform::ui {

// UITextField: one line of editable text with a placeholder. A tap focuses it (it becomes
// its window's first responder); the window's insertText/deleteBackward then edit it,
// sending editingChanged. Losing focus sends editingDidEnd.
class LUMO_PLATFORM_EXPORT TextField : public Control {
 public:
  static std::shared_ptr<TextField> make(const Rect& frame = {}) { return std::make_shared<TextField>(frame); }
  explicit TextField(const Rect& frame = {}) : Control(frame) {}

  const std::string& text() const { return text_; }
  void setText(std::string text) { text_ = std::move(text); }
  const std::string& placeholder() const { return placeholder_; }
  void setPlaceholder(std::string placeholder) { placeholder_ = std::move(placeholder); }
  Font font() const { return font_; }
  void setFont(const Font& font) { font_ = font; }
  Color textColor() const { return textColor_; }
  void setTextColor(const Color& color) { textColor_ = color; }

  bool isFirstResponder() const;
  // Refused outside a window.
  bool becomeFirstResponder();
  void resignFirstResponder();
  void insertText(const std::string& text);
  // Removes the last character (a whole UTF-8 sequence).
  void deleteBackward();

  void endTracking(const Touch* touch) override;
  Size intrinsicContentSize() const override;

 private:
  std::string text_;
  std::string placeholder_;
  Font font_ = Font::systemFont(17);
  Color textColor_ = Color::black();
};

}  // namespace platform::ui
