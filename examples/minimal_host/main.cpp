// The smallest host of lumosdk: initialises the SDK, opens a vehicle's detail page and then
// its remote-control page on the app's window, and runs the main loop. The window is the
// platform's view tree; nothing is drawn, so it runs the same with or without a display,
// and it ends once the control page is on screen.
// Usage: lumo_minimal_host [https://BACKEND [CA.pem]]   (a development backend, by default
// https://127.0.0.1:18443, and its certificate to trust for it)
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/pages/LumoDetailPage.h"
#include "lumosdk/utils/ContextUtil.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"

namespace {

namespace ui = platform::ui;
constexpr const char* kVin = "LUMO0DEMO00000001";  // the development backend's demo vehicle

// The orientation contract: the host allows landscape while the SDK's control page is shown.
class AppDelegate : public ui::ApplicationDelegate {
 public:
  ui::InterfaceOrientationMask supportedInterfaceOrientations(const std::shared_ptr<ui::Window>&) override {
    return lumo::LumoSdk::landspace() ? ui::OrientationMask::landscapeRight : ui::OrientationMask::portrait;
  }
};

template <class Page>
bool onTop() {
  return std::dynamic_pointer_cast<Page>(lumo::ContextUtil::getTopViewController()) != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && !lumo::LumoSdk::setDevelopmentBackend(argv[1], argc > 2 ? argv[2] : "")) {
    std::fprintf(stderr, "%s: not an https URL %s or no certificate in %s\n", argv[0], argv[1], argc > 2 ? argv[2] : "-");
    return 2;
  }
  // One scene with one window whose root is the host's own (here empty) first screen.
  auto& application = ui::Application::shared();
  application.setDelegate(std::make_shared<AppDelegate>());
  std::shared_ptr<ui::Window> window;
  application.setSceneConnector([&window](const std::shared_ptr<ui::WindowScene>& scene) {
    window = ui::Window::make(scene);
    window->setRootViewController(ui::ViewController::make());
    window->makeKeyAndVisible();
  });
  application.connectScene();

  // Every SDK call and callback runs on this, the main thread.
  std::string failure;
  lumo::LumoSdk::initSdk(
      "lumo-demo-app-key", "lumo-demo-token", lumo::LumoEnvironment::development, true,
      [] {
        lumo::LumoSdk::openDetailPage(kVin);
        lumo::LumoSdk::openControlPage(kVin);  // asks the backend, then covers the detail page
      },
      [&failure] { failure = "the token has expired"; },
      [&failure](const std::string& message) { failure = message; });

  // A real app runs the loop for its life (MainLoop::run()); this one stops with the page.
  bool shown = platform::dispatch::MainLoop::runUntil(
      [&failure] { return !failure.empty() || onTop<lumo::LumoControlPage>(); }, std::chrono::seconds(30));
  std::printf("initSdk: %s\n", failure.empty() ? "success" : failure.c_str());
  std::printf("control page on screen: %s, landscape allowed: %s\n", shown && failure.empty() ? "yes" : "no",
              lumo::LumoSdk::landspace() ? "yes" : "no");
  lumo::LumoSdk::deInit();
  return shown && failure.empty() ? 0 : 1;
}
