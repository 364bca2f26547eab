#pragma once

#include <memory>
#include <string>

#include "demo/app/ContentView.h"
#include "platform/ui/ViewController.h"

namespace demo {

// Hosts a form view titled "test" and shows its notice alert ("提示" with the message and
// "确定") while the form asks for it; a newer outcome replaces an alert still on screen.
class FormHostingController : public platform::ui::ViewController {
 public:
  explicit FormHostingController(std::shared_ptr<ContentView> form);
  const std::shared_ptr<ContentView>& form() const { return form_; }
  void loadView() override;
  void viewDidLoad() override;

 private:
  void syncAlert();
  std::shared_ptr<ContentView> form_;
  std::weak_ptr<platform::ui::ViewController> alert_;
  std::string shownMessage_;
  int generation_ = 0;
};

}  // namespace demo
