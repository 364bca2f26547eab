// A seeded random walk over many control sessions: whatever the user, the vehicle and the
// radio do, no frame drives once the session is ending or asks for control then, no frame
// drives before this vehicle granted control on this connection or while an input held at
// the grant is still held, no page writes through a link a newer page took, no wait dialog
// covers the page a frame after a grant, no countdown comes up while an input is held,
// nothing is built after finish, and the vehicle stands still once the session is over.
// LUMO_SAFETY_SEED and LUMO_SAFETY_SESSIONS override the defaults; a failure names the seed
// and the step that reproduce it.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "platform/ui/Application.h"
#include "tests/control/ControlPageTest.h"

namespace {

using lumo::LumoControlPage;
using platform::dispatch::Seconds;
using sim::ControlFrame;

// Sanitizer builds run the walk shorter: they are many times slower, and every step is the
// same code; the full walk runs in the plain build.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr std::uint64_t kDefaultSessions = 8;
#else
constexpr std::uint64_t kDefaultSessions = 24;
#endif

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

bool isRequestFrame(const ControlFrame& frame) {
  return frame.enableCmd && frame.throttle == 0 && frame.brake == 30 && frame.steering == 0;
}

bool isHoldingFrame(const ControlFrame& frame) { return frame.throttle == 0 && frame.brake == 30 && frame.steering == 0; }

class SafetyWalkTest : public lumo::test::ControlPageTest {
 protected:
  // What the current session has done so far, as the checks need it.
  struct Session {
    std::shared_ptr<LumoControlPage> page;
    std::optional<std::int64_t> quitTick;    // rollCount when the ending began
    std::optional<std::int64_t> finishRoll;  // rollCount when finish ran
    std::uint64_t connections = 0;
    bool grantedOnThisConnection = false;
    // The user's inputs as the walk pressed them, and which of them were held at the grant.
    float throttle = 0;
    float steering = 0;
    bool throttleHeldAtGrant = false;
    bool steeringHeldAtGrant = false;
    bool phoneHadControl = false;
    std::optional<std::int64_t> grantRoll;  // rollCount when the phone last took a grant in
    std::int64_t lastRoll = 0;
    std::set<std::uint16_t> mustHoldTicks;  // frames built while a held input was latched
    bool countdownUp = false;
    // The page a newer page (in the second window) took the link from, and its frame count then.
    std::shared_ptr<LumoControlPage> older;
    std::int64_t olderRoll = 0;
  };

  void SetUp() override {
    ControlPageTest::SetUp();
    if (verbose_) lumo::ControlUtil::setLoggingEnabled(true);
    vehicle->setFrameObserver([this](const ControlFrame& frame) { check(frame); });
  }

  void check(const ControlFrame& frame) {
    ++framesChecked_;
    if (verbose_) {
      std::cout << "frame " << frame.tick << (frame.enableCmd ? " request" : " drive") << " t" << frame.throttle
                << " b" << frame.brake << " s" << frame.steering << " | vehicle link " << vehicle->connections()
                << (vehicle->hasControlGranted() ? " granted" : "") << " | phone "
                << (lumo::ControlUtil::isCanControl() ? "control " : "") << (session_.page->quitFlag() ? "quit" : "")
                << "\n";
    }
    if (vehicle->connections() != session_.connections) {
      session_.connections = vehicle->connections();
      session_.grantedOnThisConnection = false;
    }
    if (vehicle->hasControlGranted()) session_.grantedOnThisConnection = true;
    bool ending = session_.quitTick && frame.tick > *session_.quitTick;
    // Before the grant the phone asks for control with the brake on; leaving, it only brakes.
    if (!session_.grantedOnThisConnection && !(ending ? isHoldingFrame(frame) : isRequestFrame(frame))) {
      ADD_FAILURE() << "frame " << frame.tick << " drives before this connection's grant (throttle "
                    << frame.throttle << ", steering " << frame.steering << ", brake " << frame.brake << ")";
    }
    if (session_.quitTick && frame.tick > *session_.quitTick && !isHoldingFrame(frame)) {
      ADD_FAILURE() << "frame " << frame.tick << " drives after the ending began at " << *session_.quitTick;
    }
    if (session_.quitTick && frame.tick > *session_.quitTick && frame.enableCmd) {
      ADD_FAILURE() << "frame " << frame.tick << " asks for control after the ending began at " << *session_.quitTick;
    }
    if (session_.mustHoldTicks.count(frame.tick) && !isHoldingFrame(frame)) {
      ADD_FAILURE() << "frame " << frame.tick << " drives while an input held at the grant is still held";
    }
  }

  void press(float* input, float value) {
    *input = value;
    if (session_.throttle == 0) session_.throttleHeldAtGrant = false;
    if (session_.steering == 0) session_.steeringHeldAtGrant = false;
  }

  // After every block the main loop ran: the frames just built, the grant, the dialogs.
  void watch() {
    auto& page = session_.page;
    for (std::int64_t tick = session_.lastRoll + 1; tick <= page->rollCount(); ++tick) {
      if (session_.throttleHeldAtGrant || session_.steeringHeldAtGrant) {
        session_.mustHoldTicks.insert(static_cast<std::uint16_t>(tick));
      }
    }
    bool built = page->rollCount() > session_.lastRoll;
    session_.lastRoll = page->rollCount();
    bool control = lumo::ControlUtil::isCanControl();
    if (control && !session_.phoneHadControl) {
      session_.throttleHeldAtGrant = session_.throttle != 0;
      session_.steeringHeldAtGrant = session_.steering != 0;
      session_.grantRoll = page->rollCount();
    }
    session_.phoneHadControl = control;
    // The wait dialog is the whole app's: an older page that is leaving may show its reason.
    auto wait = waitDialogMessage();
    bool covering = wait && (!session_.older || *wait == "已连接,正在请求控制权限");
    if (built && control && !page->quitFlag() && session_.grantRoll && page->rollCount() > *session_.grantRoll + 1 &&
        covering) {
      ADD_FAILURE() << "the wait dialog \"" << *waitDialogMessage() << "\" is still up a frame after the grant";
      session_.grantRoll.reset();
    }
    // This page's own countdown: an older page in the other window keeps its own watchdog.
    bool countdown = false;
    if (auto dialog = page->presentedViewController(); dialog && dialog->isViewLoaded()) {
      for (const auto& view : allViews(dialog->view())) {
        auto label = std::dynamic_pointer_cast<platform::ui::Label>(view);
        if (label && label->text() == "遥控超时") countdown = true;
      }
    }
    if (countdown && !session_.countdownUp && (session_.throttle != 0 || session_.steering != 0)) {
      ADD_FAILURE() << "the inactivity countdown came up while an input is held";
    }
    session_.countdownUp = countdown;
    if (session_.older && session_.older->rollCount() != session_.olderRoll) {
      ADD_FAILURE() << "a page whose link a newer page took built frame " << session_.older->rollCount();
      session_.olderRoll = session_.older->rollCount();
    }
  }

  // A second window opens the page for the same vehicle: the newer page takes the link.
  void openInSecondWindow() {
    if (session_.older || session_.page->quitFlag()) return;
    if (!secondWindow_) {
      secondWindow_ = platform::ui::Window::make(scene);
      secondRoot_ = platform::ui::ViewController::make();
      secondWindow_->setRootViewController(secondRoot_);
    }
    secondWindow_->makeKeyAndVisible();
    lumo::LumoSdk::openControlPage(std::string(sim::BackendSimulator::kDemoVin));
    std::shared_ptr<LumoControlPage> newer;
    bool up = runUntil([&] {
      newer = presentedPage(secondRoot_);
      return newer && (newer->isCommandLoopRunning() || newer->quitFlag());
    }, Seconds(15));
    window->makeKey();
    if (!up || !newer) return;
    auto older = session_.page;
    session_ = Session{};
    session_.connections = vehicle->connections();
    session_.page = newer;
    session_.lastRoll = newer->rollCount();
    session_.older = older;
    session_.olderRoll = older->rollCount();
  }

  // Runs the main loop, watching the page after every block it runs.
  void advance(Seconds duration) {
    platform::dispatch::MainLoop::runUntil(
        [this] {
          auto& page = session_.page;
          if (!page) return false;
          if (page->quitFlag() && !session_.quitTick) session_.quitTick = page->rollCount();
          if (page->isFinished() && !session_.finishRoll) session_.finishRoll = page->rollCount();
          if (session_.finishRoll && page->rollCount() != *session_.finishRoll) {
            ADD_FAILURE() << "a frame was built after finish";
            session_.finishRoll = page->rollCount();
          }
          watch();
          return false;
        },
        duration);
  }

  void step(std::mt19937_64& random, std::ostringstream& story) {
    auto& page = session_.page;
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<std::uint64_t>(n)); };
    int action = pick(20);
    story << action << ' ';
    auto& held = session_;
    switch (action) {
      case 0: {
        int pad = pick(4);
        if (pad == 0) press(&held.throttle, 1.0f), page->onForwardSelect();
        if (pad == 1) press(&held.throttle, -1.0f), page->onBackSelect();
        if (pad == 2) press(&held.steering, -1.0f), page->onLeftSelect();
        if (pad == 3) press(&held.steering, 1.0f), page->onRightSelect();
        break;
      }
      case 1: {
        int pad = pick(4);
        if (pad == 0) press(&held.throttle, 0), page->onForwardRelease();
        if (pad == 1) press(&held.throttle, 0), page->onBackRelease();
        if (pad == 2) press(&held.steering, 0), page->onLeftRelease();
        if (pad == 3) press(&held.steering, 0), page->onRightRelease();
        break;
      }
      case 2: {
        float angle = static_cast<float>(pick(201) - 100) / 100.0f;
        press(&held.steering, angle);
        page->onSteeringWheelAngleChanged(angle);
        break;
      }
      case 3: vehicle->grantControl(); break;
      case 4: vehicle->withdrawControl(); break;
      case 5: vehicle->takeOverOnSite(); break;
      case 6: vehicle->takeOverRemotely(); break;
      case 7: vehicle->takeOverForSafety(); break;
      case 8: vehicle->releaseTakeover(); break;
      case 9: vehicle->lag(std::array<int, 5>{0, 100, 300, 600, 1500}[static_cast<std::size_t>(pick(5))]); break;
      case 10: vehicle->dropLink(); break;
      case 11: if (pick(4) == 0) platform::ui::Application::shared().simulateWillResignActive(); break;
      case 12: if (pick(4) == 0) page->exitButtonTapped(); break;
      case 13: advance(Seconds(31 + pick(15))); break;  // nobody touches anything, or holds on
      case 14: vehicle->setSilent(pick(3) == 0); break;
      case 15: page->setAccelerationModelEnable(pick(2) == 0); break;
      case 16: {
        // The mode the vehicle reports with its grant: every known one and unknown ones.
        static constexpr std::array<std::uint8_t, 12> kModes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 77, 255};
        vehicle->setGrantedDriveMode(kModes[static_cast<std::size_t>(pick(12))]);
        break;
      }
      case 17: if (pick(3) == 0) openInSecondWindow(); break;
      case 18:
        // Reconnect, then leave while the link may still be coming up.
        if (isVisible("重新连接") && tapText("重新连接")) {
          advance(Seconds(static_cast<double>(pick(150)) / 100.0));
          page->exitButtonTapped();
        }
        break;
      default:
        for (const char* button : {"重新连接", "继续遥控", "退出遥控", "重试"}) {
          if (isVisible(button)) {
            tapText(button);
            break;
          }
        }
        break;
    }
    advance(Seconds(0.05 + static_cast<double>(pick(200)) / 100.0));
  }

  std::size_t framesChecked_ = 0;
  std::size_t pagePairs_ = 0;
  std::shared_ptr<platform::ui::Window> secondWindow_;
  std::shared_ptr<platform::ui::ViewController> secondRoot_;
  bool verbose_ = envNumber("LUMO_SAFETY_VERBOSE", 0) != 0;
  Session session_;
};

TEST_F(SafetyWalkTest, NoFrameDrivesWhenItMustNot) {
  const std::uint64_t seed = envNumber("LUMO_SAFETY_SEED", 20261209);
  const std::uint64_t sessions = envNumber("LUMO_SAFETY_SESSIONS", kDefaultSessions);
  std::mt19937_64 random(seed);
  std::size_t steps = 0;
  for (std::uint64_t n = 0; n < sessions && !HasFailure(); ++n) {
    std::ostringstream story;
    SCOPED_TRACE("seed " + std::to_string(seed) + ", session " + std::to_string(n));
    vehicle->releaseTakeover();
    vehicle->lag(0);
    vehicle->setSilent(false);
    vehicle->setGrantDelay(Seconds(0.1 + static_cast<double>(random() % 10) / 10.0));
    session_ = Session{};
    session_.connections = vehicle->connections();
    session_.page = openPage();
    ASSERT_NE(session_.page, nullptr);
    for (int i = 0; i < 30 && !session_.page->isFinished() && !HasFailure(); ++i, ++steps) {
      step(random, story);
      if (HasFailure()) std::cout << "failing step " << i << " (seed " << seed << ", session " << n << ")\n";
    }
    if (!session_.page->quitFlag()) session_.page->exitButtonTapped();
    if (session_.older && !session_.older->quitFlag()) session_.older->exitButtonTapped();
    advance(Seconds(3));
    ASSERT_TRUE(session_.page->isFinished()) << "actions: " << story.str();
    if (session_.older) {
      ASSERT_TRUE(session_.older->isFinished()) << "actions: " << story.str();
      ++pagePairs_;
    }

    // The vehicle, left alone, brakes on its own watchdog and stays where it stopped.
    advance(Seconds(3));
    double x = vehicle->model().x();
    double y = vehicle->model().y();
    advance(Seconds(2));
    EXPECT_LT(std::abs(vehicle->model().speed()), 1e-6) << "actions: " << story.str();
    EXPECT_EQ(vehicle->model().x(), x);
    EXPECT_EQ(vehicle->model().y(), y);
    ASSERT_TRUE(runUntil([&] {
      return presentedPage() == nullptr && (!secondRoot_ || !secondRoot_->presentedViewController());
    }, Seconds(5)));
    std::weak_ptr<LumoControlPage> gone = session_.page;
    std::weak_ptr<LumoControlPage> olderGone = session_.older;
    session_.page.reset();
    session_.older.reset();
    advance(Seconds(6));
    EXPECT_TRUE(gone.expired()) << "the page outlived its session";
    EXPECT_TRUE(olderGone.expired()) << "the older page outlived its session";
    window->makeKey();
    if (HasFailure()) std::cout << "failing walk (seed " << seed << ", session " << n << "): " << story.str() << "\n";
  }
  std::cout << "safety walk: seed " << seed << ", " << sessions << " sessions, " << steps << " steps, "
            << framesChecked_ << " frames checked, " << pagePairs_ << " sessions with a second window\n";
}

}  // namespace
