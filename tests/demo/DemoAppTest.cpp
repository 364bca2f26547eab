#include "tests/demo/DemoAppTest.h"

#include <stdlib.h>

#include "demo/app/FormHostingController.h"
#include "demo/app/TopViewController.h"
#include "demo/app/ViewController.h"
#include "platform/ui/NavigationController.h"
#include "demo/host/ScreenText.h"
#include "lumosdk/LumoSdk.h"
#include "lumosdk/utils/LoadingUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/ble/Radio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/net/TrustStore.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace lumo::test {

void DemoAppTest::SetUp() {
  VirtualTimeTest::SetUp();
  platform::ui::Application::shared().resetForTesting();
  platform::ui::Animator::shared().resetForTesting();
  platform::net::TrustStore::resetForTesting();
  platform::ble::Radio::useSimulatedRadio();
  LumoSdk::resetForTesting();
  NetworkUtil::resetForTesting();
  LoadingUtil::resetForTesting();
  logging::LoggerState::resetForTesting();
  auto started = startWorld();
  ASSERT_TRUE(started.world) << started.error;
  world = std::move(started.world);
  app = std::make_unique<demo::DemoApplication>();
  app->launch();
  settle();
}

void DemoAppTest::TearDown() {
  LumoSdk::deInit();
  app.reset();
  LoadingUtil::resetForTesting();
  NetworkUtil::resetForTesting();
  platform::ui::Application::shared().resetForTesting();
  platform::ui::Animator::shared().resetForTesting();
  platform::dispatch::MainLoop::drain();
  world.reset();
  logging::LoggerState::resetForTesting();
  LumoSdk::resetForTesting();
  VirtualTimeTest::TearDown();
}

std::shared_ptr<platform::ui::Window> DemoAppTest::keyWindow() const {
  return platform::ui::Application::shared().keyWindow();
}

std::shared_ptr<demo::ContentView> DemoAppTest::form() const {
  // The host's top controller is a form screen's container; its form sits in the
  // navigation stack inside.
  std::shared_ptr<platform::ui::ViewController> top = demo::topViewController();
  for (int depth = 0; top && depth < 8; ++depth) {
    if (auto hosting = std::dynamic_pointer_cast<demo::FormHostingController>(top)) return hosting->form();
    if (auto container = std::dynamic_pointer_cast<demo::ViewController>(top)) {
      top = container->navigation()->topViewController();
    } else if (auto navigation = std::dynamic_pointer_cast<platform::ui::NavigationController>(top)) {
      top = navigation->topViewController();
    } else {
      return nullptr;
    }
  }
  return nullptr;
}

bool DemoAppTest::tap(const std::string& text) {
  auto window = keyWindow();
  if (!window) return false;
  auto found = demo::ScreenText::find(*window, text);
  if (found.empty()) return false;
  const auto& view = found.back();
  window->tap(view->convertRectTo(view->bounds(), nullptr).intersection(window->bounds()).center());
  platform::dispatch::MainLoop::drain();
  return true;
}

bool DemoAppTest::shows(const std::string& text) const {
  auto window = keyWindow();
  return window && demo::ScreenText::shows(*window, text);
}

void DemoAppTest::settle() { runFor(std::chrono::seconds(1)); }

}  // namespace lumo::test
