#include "platform/ui/TextField.h"

#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace platform::ui {

bool TextField::isFirstResponder() const {
  auto w = window();
  return w && w->firstResponder().get() == this;
}

bool TextField::becomeFirstResponder() {
  auto w = window();
  if (!w || !isEnabled()) return false;
  if (isFirstResponder()) return true;
  if (auto other = std::dynamic_pointer_cast<TextField>(w->firstResponder())) other->resignFirstResponder();
  w->setFirstResponder(shared_from_this());
  sendActions(ControlEvent::editingDidBegin);
  return true;
}

void TextField::resignFirstResponder() {
  auto w = window();
  if (!w || !isFirstResponder()) return;
  w->setFirstResponder(nullptr);
  sendActions(ControlEvent::editingDidEnd);
}

void TextField::insertText(const std::string& text) {
  if (text.empty()) return;
  text_ += text;
  sendActions(ControlEvent::editingChanged);
}

void TextField::deleteBackward() {
  if (text_.empty()) return;
  std::size_t cut = text_.size() - 1;
  while (cut > 0 && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80) --cut;
  text_.erase(cut);
  sendActions(ControlEvent::editingChanged);
}

void TextField::endTracking(const Touch* touch) {
  if (touch && pointInside(touch->locationIn(this))) becomeFirstResponder();
}

Size TextField::intrinsicContentSize() const {
  Size s = Label::measure(text_.empty() ? placeholder_ : text_, font_);
  return {kNoIntrinsicMetric, std::max(s.height, font_.pointSize * 1.4)};
}

}  // namespace platform::ui
