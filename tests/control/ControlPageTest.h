#pragma once

#include <stdlib.h>

#include <set>
#include <string>
#include <vector>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoControlPage.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/LoadingUtil.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/net/TrustStore.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "sim/backend/BackendSimulator.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {

// The host lets the window turn to landscape while the SDK asks for it, as a real host does.
class LandscapeAwareHost : public platform::ui::ApplicationDelegate {
 public:
  platform::ui::InterfaceOrientationMask supportedInterfaceOrientations(
      const std::shared_ptr<platform::ui::Window>&) override {
    return LumoSdk::landspace() ? platform::ui::OrientationMask::landscapeRight
                                : platform::ui::OrientationMask::portrait;
  }
};

// A host app with an initialised SDK, the backend simulator over real HTTPS, and the demo
// vehicle advertising on the simulated radio. Every text the user could read on the window is
// recorded, and every control frame the vehicle accepts is kept.
class ControlPageTest : public SupportUiTest {
 protected:
  ControlPageTest() = default;
  // The system clock, for a page that talks to real processes (the mocked BlueZ).
  explicit ControlPageTest(bool virtualClock) : SupportUiTest(virtualClock) {}

  void SetUp() override;
  void TearDown() override;

  // The main loop in virtual time, with the screen sampled after every block it runs, so
  // that a text shown for a moment is still seen.
  void runFor(platform::dispatch::Seconds duration);
  bool runUntil(const std::function<bool()>& condition,
                platform::dispatch::Seconds timeLimit = std::chrono::seconds(60));

  // Opens the page through the SDK and waits until it is on screen.
  std::shared_ptr<LumoControlPage> openPage(const std::optional<std::string>& vin = std::string(sim::BackendSimulator::kDemoVin));
  // The control page currently presented on the window, if any.
  std::shared_ptr<LumoControlPage> presentedPage() const;
  // The same above another root (of a second window, say).
  static std::shared_ptr<LumoControlPage> presentedPage(const std::shared_ptr<platform::ui::ViewController>& from);
  // Runs until the vehicle has granted control and the page knows it.
  bool runUntilInControl(const std::shared_ptr<LumoControlPage>& page);
  // A short drive of a granted page (forward for a second, then right for half a second),
  // after which the vehicle is taken over remotely; the page then ends by itself.
  void driveThenTakeOver(const std::shared_ptr<LumoControlPage>& page);

  // Texts seen on screen since the start (or the last clearSeen).
  bool saw(const std::string& text) const { return seen_.count(text) > 0; }
  void clearSeen() { seen_.clear(); }
  std::vector<std::string> visibleTexts() const;
  bool isVisible(const std::string& text) const;
  // The wait dialog's message, or nothing when it is not up.
  std::optional<std::string> waitDialogMessage() const;
  // Where a finger lands on `view`, in window coordinates.
  static platform::ui::Point centreOf(const platform::ui::View& view) {
    auto r = view.convertRectTo(view.bounds(), nullptr);
    return {r.midX(), r.midY()};
  }
  // Taps the button (or label) showing `text`; false when no such view is visible.
  bool tapText(const std::string& text);

  // Records written through the logger under `tag` (as "tag:message" console lines).
  std::vector<std::string> records(const std::string& tag) const;

  std::unique_ptr<sim::BackendSimulator> backend;
  std::unique_ptr<sim::VehicleSimulator> vehicle;
  std::vector<sim::ControlFrame> frames;  // accepted by the vehicle, in order

 private:
  void sample();
  std::vector<std::shared_ptr<platform::ui::Window>> shownWindows() const;
  std::shared_ptr<LandscapeAwareHost> host_;
  std::set<std::string> seen_;
};

}  // namespace lumo::test
