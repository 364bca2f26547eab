#pragma once

#include <memory>

#include "demo/app/FormHostingController.h"
#include "platform/ui/NavigationController.h"

namespace demo {

// Root of every window: hosts the form screen inside a navigation controller, as a child
// filling its view.
class ViewController : public platform::ui::ViewController {
 public:
  void viewDidLoad() override;
  const std::shared_ptr<FormHostingController>& hosting() const { return hosting_; }
  const std::shared_ptr<platform::ui::NavigationController>& navigation() const { return navigation_; }

 protected:
  virtual std::shared_ptr<ContentView> makeForm();

 private:
  std::shared_ptr<FormHostingController> hosting_;
  std::shared_ptr<platform::ui::NavigationController> navigation_;
};

}  // namespace demo
