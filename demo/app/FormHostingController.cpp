#include "demo/app/FormHostingController.h"

#include "platform/ui/AlertController.h"

namespace demo {

using namespace platform::ui;

FormHostingController::FormHostingController(std::shared_ptr<ContentView> form) : form_(std::move(form)) {
  setTitle("test");
}

void FormHostingController::loadView() { setView(form_); }

void FormHostingController::viewDidLoad() {
  std::weak_ptr<FormHostingController> weak = std::static_pointer_cast<FormHostingController>(shared_from_this());
  form_->onStateChanged = [weak] {
    if (auto self = weak.lock()) self->syncAlert();
  };
}

void FormHostingController::syncAlert() {
  const FormState& state = form_->state();
  auto shown = alert_.lock();
  bool onScreen = shown && shown->presentingViewController() && !shown->isBeingDismissed();
  if (!state.showAlert) {
    if (onScreen) shown->dismiss(true);
    alert_.reset();
    return;
  }
  if (onScreen && shownMessage_ == state.alertMsg) return;

  auto alert = AlertController::make("提示", state.alertMsg);
  int generation = ++generation_;
  std::weak_ptr<FormHostingController> weak = std::static_pointer_cast<FormHostingController>(shared_from_this());
  // Only the alert of the latest outcome clears the flag; a replaced one has no say.
  alert->addAction({"确定", AlertAction::Style::defaultStyle, [weak, generation](const AlertAction&) {
                      auto self = weak.lock();
                      if (self && self->generation_ == generation) self->form_->dismissAlert();
                    }});
  alert_ = alert;
  shownMessage_ = state.alertMsg;
  if (onScreen) {
    shown->dismiss(false, [weak, alert] {
      if (auto self = weak.lock()) self->present(alert, true);
    });
  } else {
    present(alert, true);
  }
}

}  // namespace demo
