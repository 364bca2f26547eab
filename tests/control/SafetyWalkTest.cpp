// A seeded random walk over many control sessions: whatever the user, the vehicle and the
// radio do, no frame drives once the session is ending, no frame drives before this vehicle
// granted control on this connection, nothing is built after finish, and the vehicle stands
// still once the session is over. LUMO_SAFETY_SEED and LUMO_SAFETY_SESSIONS override the
// defaults; a failure names the seed that reproduces it.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <random>
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
    if (!session_.grantedOnThisConnection && !isRequestFrame(frame)) {
      ADD_FAILURE() << "frame " << frame.tick << " drives before this connection's grant (throttle "
                    << frame.throttle << ", steering " << frame.steering << ", brake " << frame.brake << ")";
    }
    if (session_.quitTick && frame.tick > *session_.quitTick && !isHoldingFrame(frame)) {
      ADD_FAILURE() << "frame " << frame.tick << " drives after the ending began at " << *session_.quitTick;
    }
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
          return false;
        },
        duration);
  }

  void step(std::mt19937_64& random, std::ostringstream& story) {
    auto& page = session_.page;
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<std::uint64_t>(n)); };
    int action = pick(17);
    story << action << ' ';
    switch (action) {
      case 0: {
        int pad = pick(4);
        if (pad == 0) page->onForwardSelect();
        if (pad == 1) page->onBackSelect();
        if (pad == 2) page->onLeftSelect();
        if (pad == 3) page->onRightSelect();
        break;
      }
      case 1: {
        int pad = pick(4);
        if (pad == 0) page->onForwardRelease();
        if (pad == 1) page->onBackRelease();
        if (pad == 2) page->onLeftRelease();
        if (pad == 3) page->onRightRelease();
        break;
      }
      case 2: page->onSteeringWheelAngleChanged(static_cast<float>(pick(201) - 100) / 100.0f); break;
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
      case 13: advance(Seconds(31 + pick(15))); break;  // nobody touches anything
      case 14: vehicle->setSilent(pick(3) == 0); break;
      case 15: page->setAccelerationModelEnable(pick(2) == 0); break;
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
    for (int i = 0; i < 30 && !session_.page->isFinished(); ++i, ++steps) step(random, story);
    if (!session_.page->quitFlag()) session_.page->exitButtonTapped();
    advance(Seconds(3));
    ASSERT_TRUE(session_.page->isFinished()) << "actions: " << story.str();

    // The vehicle, left alone, brakes on its own watchdog and stays where it stopped.
    advance(Seconds(3));
    double x = vehicle->model().x();
    double y = vehicle->model().y();
    advance(Seconds(2));
    EXPECT_LT(std::abs(vehicle->model().speed()), 1e-6) << "actions: " << story.str();
    EXPECT_EQ(vehicle->model().x(), x);
    EXPECT_EQ(vehicle->model().y(), y);
    ASSERT_TRUE(runUntil([&] { return presentedPage() == nullptr; }, Seconds(5)));
    std::weak_ptr<LumoControlPage> gone = session_.page;
    session_.page.reset();
    advance(Seconds(6));
    EXPECT_TRUE(gone.expired()) << "the page outlived its session";
    if (HasFailure()) std::cout << "failing walk (seed " << seed << ", session " << n << "): " << story.str() << "\n";
  }
  std::cout << "safety walk: seed " << seed << ", " << sessions << " sessions, " << steps << " steps, "
            << framesChecked_ << " frames checked\n";
}

}  // namespace
