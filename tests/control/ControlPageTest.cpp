#include "tests/control/ControlPageTest.h"

#include <cstdlib>
#include <functional>
#include <iostream>

#include "platform/ui/Button.h"

namespace lumo::test {

namespace ui = platform::ui;
using sim::BackendSimulator;

void ControlPageTest::SetUp() {
  SupportUiTest::SetUp();
  LumoSdk::resetForTesting();
  ControlUtil::resetForTesting();
  platform::net::TrustStore::resetForTesting();
  platform::foundation::BundleInfo::main().resetForTesting();
  backend = BackendSimulator::start();
  ASSERT_NE(backend, nullptr);
  ASSERT_TRUE(backend->trustInPlatform());
  backend->seedDemoWorld();
  ASSERT_TRUE(LumoSdk::setDevelopmentBackend(backend->baseUrl()));
  host_ = std::make_shared<LandscapeAwareHost>();
  ui::Application::shared().setDelegate(host_);

  vehicle = std::make_unique<sim::VehicleSimulator>(radio, std::string(BackendSimulator::kDemoBleName));
  vehicle->setFrameObserver([this](const sim::ControlFrame& frame) { frames.push_back(frame); });

  bool done = false;
  LumoSdk::initSdk(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken, LumoEnvironment::development, true,
                   [&done] { done = true; });
  ASSERT_TRUE(runUntil([&] { return done; }));
}

void ControlPageTest::TearDown() {
  if (HasFailure()) {
    // The story up to the failure, without the frame-by-frame records.
    auto lines = consoleLines();
    std::size_t shown = 0;
    bool everything = std::getenv("LUMO_TEST_ALL_LINES") != nullptr;
    for (auto it = lines.rbegin(); it != lines.rend() && (shown < 80 || everything); ++it) {
      if (!everything && (it->rfind("ble_cmd:", 0) == 0 || it->rfind("ControlUtil:", 0) == 0)) continue;
      std::cout << "  | " << *it << "\n";
      ++shown;
    }
  }
  vehicle.reset();
  LumoSdk::deInit();
  backend.reset();
  SupportUiTest::TearDown();
}

void ControlPageTest::runFor(platform::dispatch::Seconds duration) {
  platform::dispatch::MainLoop::runUntil(
      [this] {
        sample();
        return false;
      },
      duration);
}

bool ControlPageTest::runUntil(const std::function<bool()>& condition, platform::dispatch::Seconds timeLimit) {
  return platform::dispatch::MainLoop::runUntil(
      [&] {
        sample();
        return condition();
      },
      timeLimit);
}

std::shared_ptr<LumoControlPage> ControlPageTest::presentedPage() const { return presentedPage(root); }

std::shared_ptr<LumoControlPage> ControlPageTest::presentedPage(const std::shared_ptr<ui::ViewController>& from) {
  for (auto presented = from->presentedViewController(); presented; presented = presented->presentedViewController()) {
    if (auto page = std::dynamic_pointer_cast<LumoControlPage>(presented)) return page;
    if (auto navigation = std::dynamic_pointer_cast<ui::NavigationController>(presented)) {
      if (auto page = std::dynamic_pointer_cast<LumoControlPage>(navigation->topViewController())) return page;
    }
    if (presented->presentedViewController() == presented) break;
  }
  return nullptr;
}

std::shared_ptr<LumoControlPage> ControlPageTest::openPage(const std::optional<std::string>& vin) {
  LumoSdk::openControlPage(vin);
  std::shared_ptr<LumoControlPage> page;
  bool shown = runUntil([&] {
    page = presentedPage();
    return page && page->isViewLoaded() && page->appearance() == ui::ViewController::Appearance::appeared;
  }, platform::dispatch::Seconds(10));
  return shown ? page : nullptr;
}

bool ControlPageTest::runUntilInControl(const std::shared_ptr<LumoControlPage>& page) {
  return runUntil([&] { return page->hasControlAble() && ControlUtil::isCanControl(); },
                  platform::dispatch::Seconds(10));
}

void ControlPageTest::driveThenTakeOver(const std::shared_ptr<LumoControlPage>& page) {
  using platform::dispatch::Seconds;
  page->onForwardSelect();
  runFor(Seconds(1));
  page->onForwardRelease();
  page->onRightSelect();
  runFor(Seconds(0.5));
  page->onRightRelease();
  runFor(Seconds(0.3));
  vehicle->takeOverRemotely();
}

std::vector<std::string> ControlPageTest::visibleTexts() const {
  std::vector<std::string> texts;
  std::function<void(const std::shared_ptr<ui::View>&)> walk = [&](const std::shared_ptr<ui::View>& view) {
    if (view->isHidden() || view->alpha() <= 0.01) return;
    if (auto label = std::dynamic_pointer_cast<ui::Label>(view); label && !label->text().empty()) {
      texts.push_back(label->text());
    }
    for (const auto& child : view->subviews()) walk(child);
  };
  // Every window the host shows, the key window first.
  for (const auto& shown : shownWindows()) walk(shown);
  return texts;
}

bool ControlPageTest::isVisible(const std::string& text) const {
  auto texts = visibleTexts();
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::optional<std::string> ControlPageTest::waitDialogMessage() const {
  auto overlay = LoadingUtil::loadingView();
  auto label = LoadingUtil::messageLabel();
  if (!overlay || !label || !overlay->window() || overlay->isHidden()) return std::nullopt;
  return label->text();
}

bool ControlPageTest::tapText(const std::string& text) {
  // A finger needs the dialog to have arrived: touches during a transition are not delivered.
  runFor(platform::dispatch::Seconds(ui::ViewController::kTransitionDuration + 0.05));
  std::shared_ptr<ui::View> target;
  std::function<void(const std::shared_ptr<ui::View>&)> walk = [&](const std::shared_ptr<ui::View>& view) {
    if (view->isHidden() || view->alpha() <= 0.01) return;
    auto button = std::dynamic_pointer_cast<ui::Button>(view);
    auto label = std::dynamic_pointer_cast<ui::Label>(view);
    if ((button && button->title() == text) || (label && label->text() == text)) target = view;
    for (const auto& child : view->subviews()) walk(child);
  };
  for (const auto& shown : shownWindows()) {
    if (!target) walk(shown);
  }
  if (!target) return false;
  tapView(target);
  return true;
}

std::vector<std::string> ControlPageTest::records(const std::string& tag) const {
  std::vector<std::string> found;
  for (const auto& line : consoleLines()) {
    if (line.rfind(tag + ":", 0) == 0) found.push_back(line.substr(tag.size() + 1));
  }
  return found;
}

std::vector<std::shared_ptr<ui::Window>> ControlPageTest::shownWindows() const {
  std::vector<std::shared_ptr<ui::Window>> shown;
  if (auto key = ui::Application::shared().keyWindow()) shown.push_back(key);
  for (const auto& other : ui::Application::shared().windows()) {
    if (std::find(shown.begin(), shown.end(), other) == shown.end()) shown.push_back(other);
  }
  if (shown.empty()) shown.push_back(window);
  return shown;
}

void ControlPageTest::sample() {
  for (auto& text : visibleTexts()) seen_.insert(std::move(text));
}

}  // namespace lumo::test
