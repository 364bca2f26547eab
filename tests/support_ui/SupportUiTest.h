#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/LoadingUtil.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/LumoBluetoothManager.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/ResourceUtil.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/ble/Radio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/ui/Animator.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowScene.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

// A host app for the UI helpers: one foreground scene with a visible key window whose root
// is `root`, the logger started (its records reach the console as "tag:message"), and every
// class-level helper state cleared before and after.
class SupportUiTest : public VirtualTimeTest {
 protected:
  SupportUiTest() = default;
  explicit SupportUiTest(bool virtualClock) : VirtualTimeTest(virtualClock) {}

  void SetUp() override {
    VirtualTimeTest::SetUp();
    platform::ui::Application::shared().resetForTesting();
    platform::ui::Animator::shared().resetForTesting();
    radio = platform::ble::Radio::useSimulatedRadio();
    BluetoothUtil::resetForTesting();
    LoadingUtil::resetForTesting();
    ResourceUtil::resetForTesting();
    NetworkUtil::resetForTesting();
    LogUtil::initialize("https://127.0.0.1:1/app_log/save");
    scene = platform::ui::Application::shared().connectScene();
    window = platform::ui::Window::make(scene);
    root = platform::ui::ViewController::make();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
  }

  void TearDown() override {
    LoadingUtil::resetForTesting();
    BluetoothUtil::resetForTesting();
    if (auto manager = LumoBluetoothManager::getInstance()) manager->close();
    NetworkUtil::resetForTesting();
    ResourceUtil::resetForTesting();
    root.reset();
    window.reset();
    scene.reset();
    platform::ui::Application::shared().resetForTesting();
    platform::ui::Animator::shared().resetForTesting();
    // Blocks queued by what was just torn down run while this fixture still exists.
    platform::dispatch::MainLoop::drain();
    logging::LoggerState::resetForTesting();
    VirtualTimeTest::TearDown();
  }

  // Every view below `top` (depth first, `top` included).
  static std::vector<std::shared_ptr<platform::ui::View>> allViews(const std::shared_ptr<platform::ui::View>& top) {
    std::vector<std::shared_ptr<platform::ui::View>> found;
    std::function<void(const std::shared_ptr<platform::ui::View>&)> walk = [&](const auto& view) {
      found.push_back(view);
      for (const auto& child : view->subviews()) walk(child);
    };
    if (top) walk(top);
    return found;
  }

  // The label below `top` showing exactly `text`.
  static std::shared_ptr<platform::ui::Label> labelWithText(const std::shared_ptr<platform::ui::View>& top,
                                                            const std::string& text) {
    for (const auto& view : allViews(top)) {
      auto label = std::dynamic_pointer_cast<platform::ui::Label>(view);
      if (label && label->text() == text && !label->isHidden()) return label;
    }
    return nullptr;
  }

  // Taps the middle of a view through the window, as a finger would.
  void tapView(const std::shared_ptr<platform::ui::View>& view) {
    auto frame = view->convertRectTo(view->bounds(), nullptr);
    // The finger lands on the window the view is in (the test's window by default).
    auto target = view->window() ? view->window() : window;
    target->tap(frame.center());
  }

  std::size_t consoleCount(const std::string& line) const {
    auto lines = consoleLines();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }

  std::shared_ptr<platform::ble::SimulatedRadio> radio;
  std::shared_ptr<platform::ui::WindowScene> scene;
  std::shared_ptr<platform::ui::Window> window;
  std::shared_ptr<platform::ui::ViewController> root;
};

}  // namespace lumo::test
