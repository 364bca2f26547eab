#pragma once

#include <memory>

namespace platform::ui {
class ViewController;
}

namespace demo {

// The controller the host presents from: the key window's root, followed down through
// navigation stacks, selected tabs and presented controllers. None without a key window.
std::shared_ptr<platform::ui::ViewController> topViewController();

}  // namespace demo
