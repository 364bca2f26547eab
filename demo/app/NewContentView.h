#pragma once

#include <memory>

#include "demo/app/ContentView.h"

namespace demo {

// The second form screen: the same fields and buttons, without "newController".
class NewContentView : public ContentView {
 public:
  static std::shared_ptr<NewContentView> make();
  NewContentView() : ContentView(false) {}
};

}  // namespace demo
