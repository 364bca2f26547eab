#pragma once

#include <memory>
#include <optional>
#include <string>

#include "lumosdk/utils/ButtonLayout.h"
#include "lumosdk/utils/dialogs/DialogViewController.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"

namespace lumo {

// The general confirmation dialog: optional icon (or a warning symbol), title, message,
// optional countdown, one or two buttons, and dismissal by a tap on the dimmed background
// when cancelable. It follows the presenting controller's orientations while attached.
class CustomDialogViewController : public DialogViewController {
 public:
  struct Content {
    std::optional<std::string> titleText;
    std::string messageText;
    std::shared_ptr<platform::ui::Image> iconImage;
    std::string positiveText;
    Callback positiveCallback;
    std::optional<std::string> negativeText;
    Callback negativeCallback;
    bool showWarningIcon = false;
    bool cancelable = false;
    ButtonLayout buttonsLayout = ButtonLayout::horizontal;
    std::optional<int> countdown;
  };

  static std::shared_ptr<CustomDialogViewController> make(Content content);
  explicit CustomDialogViewController(Content content);
  ~CustomDialogViewController() override;

  void viewDidLoad() override;
  void viewDidLayoutSubviews() override;

  platform::ui::InterfaceOrientationMask supportedInterfaceOrientations() const override;
  platform::ui::InterfaceOrientation preferredInterfaceOrientationForPresentation() const override;
  bool shouldAutorotate() const override;

  platform::ui::InterfaceOrientationMask forcedOrientMask() const { return forcedOrientMask_; }
  void setForcedOrientMask(platform::ui::InterfaceOrientationMask mask) { forcedOrientMask_ = mask; }
  const Content& content() const { return content_; }
  std::shared_ptr<platform::ui::ImageView> iconView() const { return iconView_; }
  std::shared_ptr<platform::ui::View> buttonContainer() const { return buttonContainer_; }

 private:
  bool hasNegativeButton() const;
  void layoutButtons(double width);
  void backgroundTapped();

  Content content_;
  platform::ui::InterfaceOrientationMask forcedOrientMask_ = platform::ui::OrientationMask::portrait;
  std::shared_ptr<platform::ui::ImageView> iconView_;
  std::shared_ptr<platform::ui::View> buttonContainer_;
};

}  // namespace lumo
