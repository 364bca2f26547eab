#include "lumosdk/utils/dialogs/DialogViewController.h"

#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/dialogs/DialogStyle.h"
#include "platform/ui/Screen.h"

namespace lumo {

using namespace platform::ui;

DialogViewController::DialogViewController(Callback positiveCallback, Callback negativeCallback)
    : positiveCallback_(std::move(positiveCallback)), negativeCallback_(std::move(negativeCallback)) {
  setModalPresentationStyle(ModalPresentationStyle::overFullScreen);
  setModalTransitionStyle(ModalTransitionStyle::crossDissolve);
}

DialogViewController::~DialogViewController() { stopCountdown(); }

void DialogViewController::loadView() {
  auto background = View::make(Screen::portraitBounds());
  background->setBackgroundColor(ui::dimmedBackground());
  setView(background);
}

void DialogViewController::startCountdown(int seconds) {
  stopCountdown();
  remainingSeconds_ = seconds;
  if (countdownLabel_) countdownLabel_->setText(ui::countdownText(remainingSeconds_));
  std::weak_ptr<ViewController> weakSelf = weak_from_this();
  countdownTimer_ = platform::dispatch::Timer::scheduled(platform::dispatch::Seconds(1.0), true,
                                                         [weakSelf](platform::dispatch::Timer&) {
                                                           auto self = weakSelf.lock();
                                                           if (!self) return;
                                                           static_cast<DialogViewController&>(*self).tick();
                                                         });
}

void DialogViewController::stopCountdown() {
  if (countdownTimer_) countdownTimer_->invalidate();
  countdownTimer_.reset();
}

void DialogViewController::tick() {
  if (finishing_) return;
  remainingSeconds_ -= 1;
  if (countdownLabel_) countdownLabel_->setText(ui::countdownText(remainingSeconds_));
  if (remainingSeconds_ < 1) finish(positiveCallback_);
}

void DialogViewController::finish(const Callback& callback) {
  if (finishing_) return;
  finishing_ = true;
  stopCountdown();
  const std::string title = titleLabel_ ? titleLabel_->text() : std::string();
  const std::string message = messageLabel_ ? messageLabel_->text() : std::string();
  recorder::SessionEvents::ui(recorder::UiKind::dialog, recorder::UiAction::dismiss,
                              title.empty() ? message : title + "\n" + message);
  // The callback travels by value: the dialog may be released before it runs.
  dismiss(true, [callback] {
    if (callback) callback();
  });
}

void DialogViewController::connectButtons() {
  std::weak_ptr<ViewController> weakSelf = weak_from_this();
  auto on = [weakSelf](bool positive) {
    return [weakSelf, positive] {
      auto self = std::static_pointer_cast<DialogViewController>(weakSelf.lock());
      if (self) self->finish(positive ? self->positiveCallback_ : self->negativeCallback_);
    };
  };
  if (positiveButton_) positiveButton_->addTarget(on(true), ControlEvent::touchUpInside);
  if (negativeButton_) negativeButton_->addTarget(on(false), ControlEvent::touchUpInside);
}

}  // namespace lumo
