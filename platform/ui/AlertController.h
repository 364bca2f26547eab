#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"

namespace platform::ui {

// UIAlertAction: a titled button of an alert; its handler runs after the alert is dismissed.
struct LUMO_PLATFORM_EXPORT AlertAction {
  enum class Style { defaultStyle, cancel, destructive };
  std::string title;
  Style style = Style::defaultStyle;
  std::function<void(const AlertAction&)> handler;
};

// UIAlertController: a title, a message and action buttons on a card over a dimmed screen,
// presented over full screen with a cross-dissolve. Tapping a button dismisses the alert and
// then runs the action's handler. The cancel action sits last.
class LUMO_PLATFORM_EXPORT AlertController : public ViewController {
 public:
  enum class Style { actionSheet, alert };
  static std::shared_ptr<AlertController> make(std::string title, std::string message, Style style = Style::alert);
  AlertController(std::string title, std::string message, Style style);

  void addAction(AlertAction action);
  const std::vector<AlertAction>& actions() const { return actions_; }
  const std::string& message() const { return message_; }
  Style preferredStyle() const { return style_; }
  // The buttons in display order (after the view loaded).
  const std::vector<std::shared_ptr<Button>>& actionButtons() const { return buttons_; }

  void loadView() override;

 private:
  void tapped(std::size_t index);
  std::string message_;
  Style style_;
  std::vector<AlertAction> actions_;
  std::vector<std::shared_ptr<Button>> buttons_;
  bool handled_ = false;
};

}  // namespace platform::ui
