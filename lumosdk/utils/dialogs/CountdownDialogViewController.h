#pragma once

#include <memory>
#include <string>

#include "lumosdk/utils/dialogs/DialogViewController.h"

namespace lumo {

// The dedicated countdown dialog: title, message, a red seconds counter and two stacked
// buttons (positive first). It confirms on its own when the counter runs out; there is no
// background dismissal.
class CountdownDialogViewController : public DialogViewController {
 public:
  static std::shared_ptr<CountdownDialogViewController> make(std::string title, std::string message, int countdown,
                                                             std::string positiveText, Callback positiveCallback,
                                                             std::string negativeText, Callback negativeCallback);
  CountdownDialogViewController(std::string title, std::string message, int countdown, std::string positiveText,
                                Callback positiveCallback, std::string negativeText, Callback negativeCallback);

  void viewDidLoad() override;
  void viewDidLayoutSubviews() override;

  const std::string& titleText() const { return titleText_; }
  const std::string& messageText() const { return messageText_; }
  int initialCountdown() const { return initialCountdown_; }

 private:
  std::string titleText_;
  std::string messageText_;
  std::string positiveText_;
  std::string negativeText_;
  int initialCountdown_;
};

}  // namespace lumo
