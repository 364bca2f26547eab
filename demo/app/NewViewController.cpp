#include "demo/app/NewViewController.h"

#include "demo/app/NewContentView.h"

namespace demo {

std::shared_ptr<ContentView> NewViewController::makeForm() { return NewContentView::make(); }

}  // namespace demo
