#pragma once

#include "demo/app/ViewController.h"

namespace demo {

// The second form screen's controller, opened by "newController": the same containment
// around a NewContentView.
class NewViewController : public ViewController {
 protected:
  std::shared_ptr<ContentView> makeForm() override;
};

}  // namespace demo
