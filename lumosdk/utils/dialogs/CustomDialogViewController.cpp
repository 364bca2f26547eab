#include "lumosdk/utils/dialogs/CustomDialogViewController.h"

#include <algorithm>

#include "lumosdk/utils/dialogs/DialogStyle.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/ui/Application.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Window.h"

namespace lumo {

using namespace platform::ui;

namespace {
constexpr double kSideInset = 16;
constexpr double kIconSize = 20;
constexpr double kIconTop = 12;
constexpr double kTopWithoutIcon = 20;
constexpr double kRowGap = 8;
constexpr double kGapBeforeButtons = 20;
constexpr double kButtonGap = 16;
constexpr double kStackedButtonGap = 12;
}  // namespace

std::shared_ptr<CustomDialogViewController> CustomDialogViewController::make(Content content) {
  return std::make_shared<CustomDialogViewController>(std::move(content));
}

CustomDialogViewController::CustomDialogViewController(Content content)
    : DialogViewController(content.positiveCallback, content.negativeCallback), content_(std::move(content)) {}

CustomDialogViewController::~CustomDialogViewController() {
  stopCountdown();
  platform::foundation::ConsoleLog::write("CustomDialogViewController deinit");
}

bool CustomDialogViewController::hasNegativeButton() const {
  return content_.negativeText && !content_.negativeText->empty();
}

void CustomDialogViewController::viewDidLoad() {
  auto root = view();
  containerView_ = ui::makeCard();
  root->addSubview(containerView_);

  std::shared_ptr<Image> icon = content_.iconImage;
  if (!icon && content_.showWarningIcon) icon = Image::systemNamed("exclamationmark.triangle.fill");
  if (icon) {
    iconView_ = ImageView::make(icon);
    iconView_->setContentMode(ContentMode::scaleAspectFit);
    if (!content_.iconImage) iconView_->setTintColor(Color::systemOrange());
    containerView_->addSubview(iconView_);
  }

  titleLabel_ = ui::makeCardLabel(Font::boldSystemFont(18), Color::black());
  titleLabel_->setText(content_.titleText.value_or(""));
  titleLabel_->setHidden(titleLabel_->text().empty());
  messageLabel_ = ui::makeCardLabel(Font::systemFont(16), Color::darkGray());
  messageLabel_->setText(content_.messageText);
  messageLabel_->setHidden(content_.messageText.empty());
  countdownLabel_ = ui::makeCardLabel(Font::boldSystemFont(24), Color::systemRed());
  countdownLabel_->setHidden(!content_.countdown);
  for (const auto& label : {titleLabel_, messageLabel_, countdownLabel_}) containerView_->addSubview(label);

  buttonContainer_ = View::make();
  positiveButton_ = ui::makePositiveButton(content_.positiveText);
  buttonContainer_->addSubview(positiveButton_);
  if (hasNegativeButton()) {
    negativeButton_ = ui::makeNegativeButton(*content_.negativeText);
    buttonContainer_->addSubview(negativeButton_);
  }
  containerView_->addSubview(buttonContainer_);
  connectButtons();

  if (content_.cancelable) {
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    auto tap = std::make_shared<TapGestureRecognizer>([weakSelf](GestureRecognizer& recognizer) {
      auto self = std::static_pointer_cast<CustomDialogViewController>(weakSelf.lock());
      if (self && recognizer.state() == GestureRecognizer::State::ended) self->backgroundTapped();
    });
    // Only touches that land on the dimmed background itself, never on the card.
    tap->shouldReceiveTouch = [weakRoot = std::weak_ptr<View>(root)](GestureRecognizer&, const Touch& touch) {
      auto background = weakRoot.lock();
      return background && touch.view() == background;
    };
    root->addGestureRecognizer(tap);
  }

  if (content_.countdown) startCountdown(*content_.countdown);
}

void CustomDialogViewController::viewDidLayoutSubviews() {
  auto bounds = view()->bounds();
  ui::CardColumn column(ui::kCardWidth, kSideInset, iconView_ ? kIconTop : kTopWithoutIcon);
  if (iconView_) column.placeView(*iconView_, kIconSize, kIconSize, kRowGap);
  column.placeLabel(*titleLabel_, kRowGap);

  // The message gives way when the card would outgrow the screen, so the buttons stay reachable.
  double buttonsHeight = hasNegativeButton() && content_.buttonsLayout == ButtonLayout::vertical
                             ? 2 * ui::kButtonHeight + kStackedButtonGap
                             : ui::kButtonHeight;
  double countdownHeight = content_.countdown ? Label::measure("0秒", countdownLabel_->font()).height + kRowGap : 0;
  double fixed = column.y() + countdownHeight + kGapBeforeButtons - kRowGap + buttonsHeight + kSideInset;
  double room = bounds.height() - 2 * ui::kCardScreenMargin - fixed - kRowGap;
  column.placeLabel(*messageLabel_, kRowGap, std::max(room, Label::measure("秒", messageLabel_->font()).height));
  column.placeLabel(*countdownLabel_, kRowGap);
  column.advance(kGapBeforeButtons - kRowGap);

  double contentWidth = column.contentWidth();
  buttonContainer_->setFrame({kSideInset, column.y(), contentWidth, buttonsHeight});
  layoutButtons(contentWidth);
  column.advance(buttonsHeight + kSideInset);

  containerView_->setFrame({(bounds.width() - ui::kCardWidth) / 2, (bounds.height() - column.y()) / 2, ui::kCardWidth,
                            column.y()});
}

void CustomDialogViewController::layoutButtons(double width) {
  if (!negativeButton_) {
    positiveButton_->setFrame({(width - ui::kSingleButtonWidth) / 2, 0, ui::kSingleButtonWidth, ui::kButtonHeight});
    return;
  }
  if (content_.buttonsLayout == ButtonLayout::vertical) {
    positiveButton_->setFrame({0, 0, width, ui::kButtonHeight});
    negativeButton_->setFrame({0, ui::kButtonHeight + kStackedButtonGap, width, ui::kButtonHeight});
    return;
  }
  double half = (width - kButtonGap) / 2;
  negativeButton_->setFrame({0, 0, half, ui::kButtonHeight});
  positiveButton_->setFrame({half + kButtonGap, 0, half, ui::kButtonHeight});
}

void CustomDialogViewController::backgroundTapped() {
  // No callback: the user set the question aside.
  finish(nullptr);
}

InterfaceOrientationMask CustomDialogViewController::supportedInterfaceOrientations() const {
  if (auto presenting = presentingViewController()) return presenting->supportedInterfaceOrientations();
  if (forcedOrientMask_ != OrientationMask::portrait) return forcedOrientMask_;
  auto window = Application::shared().keyWindow();
  auto root = window ? window->rootViewController() : nullptr;
  if (root && root.get() != this) return root->supportedInterfaceOrientations();
  return OrientationMask::portrait;
}

InterfaceOrientation CustomDialogViewController::preferredInterfaceOrientationForPresentation() const {
  if (auto presenting = presentingViewController()) return presenting->preferredInterfaceOrientationForPresentation();
  return InterfaceOrientation::portrait;
}

bool CustomDialogViewController::shouldAutorotate() const {
  if (auto presenting = presentingViewController()) return presenting->shouldAutorotate();
  return true;
}

}  // namespace lumo
