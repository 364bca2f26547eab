#include "lumosdk/utils/dialogs/CountdownDialogViewController.h"

#include <algorithm>

#include "lumosdk/utils/dialogs/DialogStyle.h"

namespace lumo {

using namespace platform::ui;

namespace {
constexpr double kInset = 20;
constexpr double kRowGap = 8;
constexpr double kStackedButtonGap = 12;
}  // namespace

std::shared_ptr<CountdownDialogViewController> CountdownDialogViewController::make(
    std::string title, std::string message, int countdown, std::string positiveText, Callback positiveCallback,
    std::string negativeText, Callback negativeCallback) {
  return std::make_shared<CountdownDialogViewController>(std::move(title), std::move(message), countdown,
                                                         std::move(positiveText), std::move(positiveCallback),
                                                         std::move(negativeText), std::move(negativeCallback));
}

CountdownDialogViewController::CountdownDialogViewController(std::string title, std::string message, int countdown,
                                                             std::string positiveText, Callback positiveCallback,
                                                             std::string negativeText, Callback negativeCallback)
    : DialogViewController(std::move(positiveCallback), std::move(negativeCallback)),
      titleText_(std::move(title)),
      messageText_(std::move(message)),
      positiveText_(std::move(positiveText)),
      negativeText_(std::move(negativeText)),
      initialCountdown_(countdown) {}

void CountdownDialogViewController::viewDidLoad() {
  containerView_ = ui::makeCard();
  view()->addSubview(containerView_);
  titleLabel_ = ui::makeCardLabel(Font::boldSystemFont(18), Color::black());
  titleLabel_->setText(titleText_);
  messageLabel_ = ui::makeCardLabel(Font::systemFont(16), Color::darkGray());
  messageLabel_->setText(messageText_);
  countdownLabel_ = ui::makeCardLabel(Font::boldSystemFont(24), Color::systemRed());
  positiveButton_ = ui::makePositiveButton(positiveText_);
  negativeButton_ = ui::makeNegativeButton(negativeText_);
  for (const auto& child : std::initializer_list<std::shared_ptr<View>>{titleLabel_, messageLabel_, countdownLabel_,
                                                                        positiveButton_, negativeButton_}) {
    containerView_->addSubview(child);
  }
  connectButtons();
  startCountdown(initialCountdown_);
}

void CountdownDialogViewController::viewDidLayoutSubviews() {
  auto bounds = view()->bounds();
  ui::CardColumn column(ui::kCardWidth, kInset, kInset);
  column.placeLabel(*titleLabel_, kRowGap);
  double countdownHeight = Label::measure("0秒", countdownLabel_->font()).height;
  double below = countdownHeight + kRowGap + (kInset - kRowGap) + 2 * ui::kButtonHeight + kStackedButtonGap + kInset;
  // A long message gives way so the buttons stay on screen.
  double room = bounds.height() - 2 * ui::kCardScreenMargin - column.y() - below - kRowGap;
  column.placeLabel(*messageLabel_, kRowGap, std::max(room, Label::measure("秒", messageLabel_->font()).height));
  column.placeLabel(*countdownLabel_, kInset);
  column.placeView(*positiveButton_, column.contentWidth(), ui::kButtonHeight, kStackedButtonGap);
  column.placeView(*negativeButton_, column.contentWidth(), ui::kButtonHeight, kInset);
  containerView_->setFrame({(bounds.width() - ui::kCardWidth) / 2, (bounds.height() - column.y()) / 2, ui::kCardWidth,
                            column.y()});
}

}  // namespace lumo
