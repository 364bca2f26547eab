#pragma once

#include <stdlib.h>

#include <memory>
#include <string>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoDetailPage.h"
#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/dialogs/CustomDialogViewController.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/net/TrustStore.h"
#include "platform/ui/NavigationController.h"
#include "sim/backend/BackendSimulator.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {

// A host window with the SDK initialised against the backend simulator (demo world) in the
// development environment, and helpers to find the detail page, its dialogs and toasts.
class DetailFixture : public SupportUiTest {
 protected:
  void SetUp() override {
    SupportUiTest::SetUp();
    platform::net::TrustStore::resetForTesting();
    backend = sim::BackendSimulator::start();
    ASSERT_NE(backend, nullptr);
    ASSERT_TRUE(backend->trustInPlatform());
    backend->seedDemoWorld();
    LumoSdk::resetForTesting();
    ASSERT_TRUE(LumoSdk::setDevelopmentBackend(backend->baseUrl()));
    bool ready = false;
    LumoSdk::initSdk(sim::BackendSimulator::kDemoAppKey, sim::BackendSimulator::kDemoToken,
                     LumoEnvironment::development, true, [&ready] { ready = true; }, [this] { ++authExpired; });
    ASSERT_TRUE(runUntil([&] { return ready; }));
    runFor(std::chrono::milliseconds(400));  // the registration's overlay is gone
    backend->clearRequests();
    clearRecordedLines();
  }

  void TearDown() override {
    LumoSdk::deInit();
    SupportUiTest::TearDown();
    backend.reset();
  }

  // The detail page on top of whatever the host shows, if any.
  std::shared_ptr<LumoDetailPage> detailPage() const {
    auto top = root->presentedViewController();
    auto navigation = std::dynamic_pointer_cast<platform::ui::NavigationController>(top ? top : root);
    if (!navigation) return nullptr;
    for (const auto& child : navigation->viewControllers()) {
      if (auto page = std::dynamic_pointer_cast<LumoDetailPage>(child)) return page;
    }
    return nullptr;
  }

  // Opens the page for `vin` and lets it load and answer its first poll.
  std::shared_ptr<LumoDetailPage> openPage(const std::string& vin = sim::BackendSimulator::kDemoVin) {
    LumoSdk::openDetailPage(vin);
    std::shared_ptr<LumoDetailPage> page;
    EXPECT_TRUE(runUntil([&] { return (page = detailPage()) && page->appearance() ==
                                                                  platform::ui::ViewController::Appearance::appeared; }));
    runFor(std::chrono::milliseconds(100));
    return page;
  }

  std::size_t polls() const { return backend->requestsTo("/oper_sdk/vehicle_info").size(); }
  // When each poll reached the backend, in virtual milliseconds after the first one.
  std::vector<double> pollTimes() const {
    std::vector<double> times;
    for (const auto& request : backend->requestsTo("/oper_sdk/vehicle_info")) {
      times.push_back(request.wallMillis - firstPoll());
    }
    return times;
  }
  double firstPoll() const {
    auto all = backend->requestsTo("/oper_sdk/vehicle_info");
    return all.empty() ? 0 : all.front().wallMillis;
  }
  static double now() { return platform::dispatch::Scheduler::clock().wallMillis(); }

  // The cabinet confirmation presented over the host's top controller.
  std::shared_ptr<CustomDialogViewController> cabinetDialog() const {
    for (const auto& view : allViews(window)) {
      if (auto dialog = std::dynamic_pointer_cast<CustomDialogViewController>(view->owningViewController())) {
        return dialog;
      }
    }
    return nullptr;
  }

  // Taps the button titled `title` below `top`.
  void tapButton(const std::shared_ptr<platform::ui::View>& top, const std::string& title) {
    for (const auto& view : allViews(top)) {
      auto button = std::dynamic_pointer_cast<platform::ui::Button>(view);
      if (button && button->title() == title) return tapView(button);
    }
    ADD_FAILURE() << "no button " << title;
  }

  // Taps the grid item named `name` on the page.
  void tapItem(const std::shared_ptr<LumoDetailPage>& page, const std::string& name) {
    auto label = labelWithText(page->view(), name);
    ASSERT_NE(label, nullptr) << name;
    tapView(label->superview());
  }

  bool toastShown(const std::string& text) {
    return runUntil([&] { return labelWithText(window, text) != nullptr; }, std::chrono::seconds(2));
  }

  std::string waitDialogText() const {
    auto label = LoadingUtil::messageLabel();
    return label ? label->text() : std::string();
  }

  std::unique_ptr<sim::BackendSimulator> backend;
  int authExpired = 0;
};

}  // namespace lumo::test
