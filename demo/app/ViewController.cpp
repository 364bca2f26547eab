#include "demo/app/ViewController.h"

namespace demo {

using namespace platform::ui;

std::shared_ptr<ContentView> ViewController::makeForm() { return ContentView::make(); }

void ViewController::viewDidLoad() {
  hosting_ = std::make_shared<FormHostingController>(makeForm());
  navigation_ = NavigationController::make(hosting_);
  addChild(navigation_);
  auto child = navigation_->view();
  child->setFrame(view()->bounds());
  child->setAutoresizingMask(Autoresizing::flexibleWidth | Autoresizing::flexibleHeight);
  view()->addSubview(child);
  navigation_->didMoveToParent(std::static_pointer_cast<platform::ui::ViewController>(shared_from_this()));
}

}  // namespace demo
