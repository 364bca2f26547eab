#include "platform/ui/AlertController.h"

#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"

namespace platform::ui {

std::shared_ptr<AlertController> AlertController::make(std::string title, std::string message, Style style) {
  return std::make_shared<AlertController>(std::move(title), std::move(message), style);
}

AlertController::AlertController(std::string title, std::string message, Style style)
    : message_(std::move(message)), style_(style) {
  setTitle(std::move(title));
  setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
  setModalTransitionStyle(ModalTransitionStyle::crossDissolve);
}

void AlertController::addAction(AlertAction action) {
  // A second cancel action is refused, as UIKit refuses it.
  if (action.style == AlertAction::Style::cancel) {
    for (const auto& a : actions_) {
      if (a.style == AlertAction::Style::cancel) return;
    }
  }
  actions_.push_back(std::move(action));
}

void AlertController::loadView() {
  Rect screen = Screen::portraitBounds();
  auto root = View::make(screen);
  root->setBackgroundColor(Color::black().withAlpha(0.4));
  setView(root);

  constexpr double kWidth = 270, kPad = 16, kButtonHeight = 44;
  auto card = View::make();
  card->setBackgroundColor(Color::white(0.97));
  card->layer()->setCornerRadius(14);
  card->setClipsToBounds(true);
  double y = kPad;
  auto addLabel = [&](const std::string& text, const Font& font) {
    if (text.empty()) return;
    auto label = Label::make();
    label->setText(text);
    label->setFont(font);
    label->setNumberOfLines(0);
    label->setTextAlignment(TextAlignment::center);
    Size s = label->sizeThatFits({kWidth - 2 * kPad, 0});
    label->setFrame({kPad, y, kWidth - 2 * kPad, s.height});
    card->addSubview(label);
    y += s.height + 6;
  };
  addLabel(title(), Font::boldSystemFont(17));
  addLabel(message_, Font::systemFont(13));
  y += kPad - 6;

  // Display order: the cancel action last.
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < actions_.size(); ++i) {
    if (actions_[i].style != AlertAction::Style::cancel) order.push_back(i);
  }
  for (std::size_t i = 0; i < actions_.size(); ++i) {
    if (actions_[i].style == AlertAction::Style::cancel) order.push_back(i);
  }
  std::weak_ptr<ViewController> weak = weak_from_this();
  bool sideBySide = actions_.size() == 2 && style_ == Style::alert;
  for (std::size_t k = 0; k < order.size(); ++k) {
    std::size_t index = order[k];
    const auto& action = actions_[index];
    auto button = Button::make(Button::Type::system);
    button->setTitle(action.title);
    button->titleLabel()->setFont(action.style == AlertAction::Style::cancel ? Font::boldSystemFont(17)
                                                                             : Font::systemFont(17));
    if (action.style == AlertAction::Style::destructive) button->setTitleColor(Color::systemRed());
    if (sideBySide) {
      button->setFrame({kWidth / 2 * static_cast<double>(k), y, kWidth / 2, kButtonHeight});
    } else {
      button->setFrame({0, y, kWidth, kButtonHeight});
      y += kButtonHeight;
    }
    button->addTarget([weak, index] {
      if (auto self = std::static_pointer_cast<AlertController>(weak.lock())) self->tapped(index);
    }, ControlEvent::touchUpInside);
    card->addSubview(button);
    buttons_.push_back(button);
  }
  if (sideBySide) y += kButtonHeight;
  card->setFrame({(screen.width() - kWidth) / 2, (screen.height() - y) / 2, kWidth, y});
  card->setAutoresizingMask(Autoresizing::flexibleLeftMargin | Autoresizing::flexibleRightMargin |
                            Autoresizing::flexibleTopMargin | Autoresizing::flexibleBottomMargin);
  root->addSubview(card);
}

void AlertController::tapped(std::size_t index) {
  if (handled_ || index >= actions_.size()) return;
  handled_ = true;  // a second tap during the fade-out does nothing
  auto self = std::static_pointer_cast<AlertController>(shared_from_this());
  dismiss(true, [self, index] {
    const auto& action = self->actions_[index];
    if (action.handler) action.handler(action);
  });
}

}  // namespace platform::ui
