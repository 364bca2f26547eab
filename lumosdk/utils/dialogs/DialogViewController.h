#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/Timer.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace lumo {

// What the SDK's confirmation dialogs share: a dimmed full-screen view with a card, a
// positive and an optional negative button, and an optional countdown that confirms on its
// own. Each dismissal by button or countdown runs exactly one callback, after the dismissal
// animation; the 1-second tick holds the dialog weakly and stops at every dismissal and at
// destruction. Main thread only.
class DialogViewController : public platform::ui::ViewController {
 public:
  using Callback = std::function<void()>;

  ~DialogViewController() override;

  void loadView() override;

  int remainingSeconds() const { return remainingSeconds_; }
  bool isCountingDown() const { return countdownTimer_ != nullptr; }
  // Whether a button, the countdown or a background tap has ended this dialog.
  bool isFinishing() const { return finishing_; }

  std::shared_ptr<platform::ui::View> containerView() const { return containerView_; }
  std::shared_ptr<platform::ui::Label> titleLabel() const { return titleLabel_; }
  std::shared_ptr<platform::ui::Label> messageLabel() const { return messageLabel_; }
  std::shared_ptr<platform::ui::Label> countdownLabel() const { return countdownLabel_; }
  std::shared_ptr<platform::ui::Button> positiveButton() const { return positiveButton_; }
  std::shared_ptr<platform::ui::Button> negativeButton() const { return negativeButton_; }

 protected:
  DialogViewController(Callback positiveCallback, Callback negativeCallback);

  void startCountdown(int seconds);
  void stopCountdown();
  // Ends the dialog: stops the countdown, dismisses animated, then runs `callback`. Only the
  // first call of a dialog's life counts.
  void finish(const Callback& callback);
  // Wires the buttons to the callbacks.
  void connectButtons();

  Callback positiveCallback_;
  Callback negativeCallback_;
  std::shared_ptr<platform::dispatch::Timer> countdownTimer_;
  int remainingSeconds_ = 0;
  std::shared_ptr<platform::ui::View> containerView_;
  std::shared_ptr<platform::ui::Label> titleLabel_;
  std::shared_ptr<platform::ui::Label> messageLabel_;
  std::shared_ptr<platform::ui::Label> countdownLabel_;
  std::shared_ptr<platform::ui::Button> positiveButton_;
  std::shared_ptr<platform::ui::Button> negativeButton_;

 private:
  void tick();
  bool finishing_ = false;
};

}  // namespace lumo
