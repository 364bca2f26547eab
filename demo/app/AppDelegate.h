#pragma once

#include <memory>
#include <string>

#include "platform/ui/Application.h"

namespace demo {

// The application's answers to the platform: landscape only while the SDK shows its
// remote-control page (it raises LumoSdk::landspace for that), portrait otherwise.
class AppDelegate : public platform::ui::ApplicationDelegate {
 public:
  platform::ui::InterfaceOrientationMask supportedInterfaceOrientations(
      const std::shared_ptr<platform::ui::Window>& window) override;
  // Every scene the app connects uses the one configuration it declares.
  static std::string configurationForConnecting() { return "Default Configuration"; }
};

}  // namespace demo
