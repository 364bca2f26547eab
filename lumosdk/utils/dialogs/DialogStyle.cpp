#include "lumosdk/utils/dialogs/DialogStyle.h"

#include <algorithm>

namespace lumo::ui {

using namespace platform::ui;

Color dialogBlue() { return Color::rgb255(16, 54, 132); }

Color dimmedBackground() { return Color::black().withAlpha(0.5); }

std::shared_ptr<View> makeCard() {
  auto card = View::make();
  card->setBackgroundColor(Color::white());
  card->layer()->setCornerRadius(kCardCornerRadius);
  card->setClipsToBounds(true);
  return card;
}

std::shared_ptr<Label> makeCardLabel(const Font& font, const Color& color) {
  auto label = Label::make();
  label->setFont(font);
  label->setTextColor(color);
  label->setTextAlignment(TextAlignment::center);
  label->setNumberOfLines(0);
  label->setClipsToBounds(true);
  return label;
}

namespace {
std::shared_ptr<Button> makeButton(const std::string& title, const Color& text, const Color& fill) {
  auto button = Button::make(Button::Type::custom);
  button->setTitle(title);
  button->setTitleColor(text);
  button->titleLabel()->setFont(Font::systemFont(16));
  button->setBackgroundColor(fill);
  button->layer()->setCornerRadius(kButtonCornerRadius);
  button->setClipsToBounds(true);
  return button;
}
}  // namespace

std::shared_ptr<Button> makePositiveButton(const std::string& title) {
  return makeButton(title, Color::white(), dialogBlue());
}

std::shared_ptr<Button> makeNegativeButton(const std::string& title) {
  auto button = makeButton(title, dialogBlue(), Color::white());
  button->layer()->setBorderWidth(1);
  button->layer()->setBorderColor(dialogBlue());
  return button;
}

std::string countdownText(int seconds) { return std::to_string(seconds) + "秒"; }

void CardColumn::placeLabel(Label& label, double gapAfter, double maxHeight) {
  if (label.isHidden()) return;
  double height = Label::measure(label.text(), label.font(), contentWidth(), 0).height;
  if (maxHeight > 0) height = std::min(height, maxHeight);
  placeView(label, contentWidth(), height, gapAfter);
}

void CardColumn::placeView(View& view, double viewWidth, double viewHeight, double gapAfter) {
  if (view.isHidden()) return;
  view.setFrame({(width_ - viewWidth) / 2, y_, viewWidth, viewHeight});
  y_ += viewHeight + gapAfter;
}

}  // namespace lumo::ui
