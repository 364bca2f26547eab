#include <gtest/gtest.h>

#include <numbers>
#include <vector>

#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/foundation/KeyedArchive.h"
#include "platform/ui/HapticFeedback.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
constexpr double kPi = std::numbers::pi;

// A wheel of 170 × 170 at (100, 100) in a visible window: its centre is (185, 185).
class SteeringWheelTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    wheel = SteeringWheel::make(Rect{100, 100, 170, 170});
    wheel->setOnSteeringAngleChangeListener([this](double value) { reports.push_back(value); });
    window->addSubview(wheel);
    window->makeKeyAndVisible();
  }
  // A point at `dx`, `dy` from the wheel's centre, in window coordinates.
  static Point at(double dx, double dy) { return {185 + dx, 185 + dy}; }
  double imageAngle() const { return wheel->steeringWheelImageView()->transform().angle(); }
  std::size_t impacts() const { return ImpactFeedbackGenerator::recordedImpacts().size(); }

  std::shared_ptr<SteeringWheel> wheel;
  std::vector<double> reports;
};

TEST_F(SteeringWheelTest, OneFingerTurnsTheWheelByItsAngleFromTwelveOClock) {
  EXPECT_TRUE(wheel->isVibrationSupported());
  // Touching down in the upper half reports nothing until the finger moves.
  window->touchDown(1, at(0, -60));
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(impacts(), 1u);
  window->touchMove(1, at(50, -50));  // 1:30
  window->touchMove(1, at(-50, -50));  // 10:30
  window->touchMove(1, at(0, -70));  // straight up
  window->touchMove(1, at(0, -40));  // same angle: not reported again
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_NEAR(reports[0], 0.5, 1e-12);
  EXPECT_NEAR(reports[1], -0.5, 1e-12);
  EXPECT_EQ(reports[2], 0.0);
  window->touchMove(1, at(60, 0));  // 3 o'clock: full right lock
  EXPECT_NEAR(wheel->angle(), kPi / 2, 1e-12);
  EXPECT_NEAR(imageAngle(), kPi / 2, 1e-12);
  // Lifting reports the return to the centre once.
  window->touchUp(1, at(60, 0));
  EXPECT_EQ(reports.back(), 0.0);
  EXPECT_EQ(reports.size(), 5u);
  EXPECT_EQ(wheel->angle(), 0.0);
  EXPECT_NEAR(imageAngle(), 0.0, 1e-12);
  EXPECT_EQ(wheel->pointerCount(), 0);
}

TEST_F(SteeringWheelTest, TheLowerHalfHoldsTheLockOnTheSideAlreadyTurnedTo) {
  // Down in the lower-left quarter: full left at once.
  window->touchDown(1, at(-30, 40));
  EXPECT_EQ(reports, (std::vector<double>{-1.0}));
  // Sweeping through the bottom to the lower right keeps the left lock.
  window->touchMove(1, at(0, 70));
  window->touchMove(1, at(40, 40));
  EXPECT_EQ(reports, (std::vector<double>{-1.0}));
  window->touchMove(1, at(40, -40));  // back in the upper half: follows again
  EXPECT_NEAR(reports.back(), 0.5, 1e-12);
  window->touchUp(1, at(40, -40));
  // Lifting at the centre reports nothing more.
  window->touchDown(2, at(0, -50));
  window->touchUp(2, at(0, -50));
  EXPECT_EQ(reports.size(), 3u);

  // Down in the lower right from the centre: full right; with the wheel centred a drag
  // through the lower half turns it full right too (the clamp of the raw angle).
  window->touchDown(3, at(30, 40));
  EXPECT_EQ(reports.back(), 1.0);
  window->touchUp(3, at(30, 40));
  window->touchDown(4, at(0, -50));
  window->touchMove(4, at(-40, 40));
  EXPECT_EQ(reports.back(), 1.0);
  window->touchUp(4, at(-40, 40));
  EXPECT_EQ(reports.back(), 0.0);
}

TEST_F(SteeringWheelTest, ASecondFingerFreezesTheWheelUntilTheLastOneLifts) {
  window->touchDown(1, at(50, -50));
  window->touchMove(1, at(60, -10));
  double held = wheel->angle();
  ASSERT_GT(held, kPi / 4);
  std::size_t count = reports.size();
  window->touchDown(2, at(-40, 40));  // a second finger turns nothing, even in the lower half
  window->touchDown(3, at(-40, -40));
  EXPECT_EQ(wheel->pointerCount(), 3);
  window->touchMove(1, at(-50, -50));
  window->touchMove(2, at(50, -50));
  EXPECT_EQ(wheel->angle(), held);
  window->touchUp(3, at(-40, -40));
  window->touchUp(1, at(-50, -50));
  EXPECT_EQ(wheel->angle(), held);  // one finger left: the wheel stays where it was
  EXPECT_EQ(reports.size(), count);
  // ...and follows that finger again.
  window->touchMove(2, at(-50, -50));
  EXPECT_NEAR(reports.back(), -0.5, 1e-12);
  window->touchUp(2, at(-50, -50));
  EXPECT_EQ(reports.back(), 0.0);
  EXPECT_EQ(wheel->pointerCount(), 0);
  // Only the first finger of each touch-down gave a haptic tap.
  EXPECT_EQ(impacts(), 1u);
}

TEST_F(SteeringWheelTest, AWheelThatLosesItsFingersRecentresAndReportsIt) {
  // Cancelled by the system.
  window->touchDown(1, at(-30, 40));
  window->touchCancel(1);
  EXPECT_EQ(reports, (std::vector<double>{-1.0, 0.0}));

  // Hidden while held: the finger is cancelled and the wheel lets go.
  window->touchDown(2, at(30, 40));
  wheel->setHidden(true);
  EXPECT_EQ(reports.back(), 0.0);
  EXPECT_EQ(wheel->pointerCount(), 0);
  window->touchMove(2, at(-50, -50));
  window->touchUp(2, at(-50, -50));
  EXPECT_EQ(reports.size(), 4u);
  wheel->setHidden(false);

  // Removed from the window while held.
  window->touchDown(3, at(30, 40));
  wheel->removeFromSuperview();
  EXPECT_EQ(reports.size(), 6u);
  EXPECT_EQ(reports.back(), 0.0);
  window->addSubview(wheel);

  // Released by its owner: the old finger steers no more, a new one does.
  window->touchDown(4, at(-30, 40));
  wheel->releaseTouches();
  EXPECT_EQ(reports.back(), 0.0);
  window->touchMove(4, at(50, -50));
  EXPECT_EQ(reports.back(), 0.0);
  window->touchDown(5, at(50, -50));
  window->touchMove(5, at(-50, -50));
  EXPECT_NEAR(reports.back(), -0.5, 1e-12);
  window->touchUp(5, at(-50, -50));
  EXPECT_EQ(reports.back(), 0.0);
  // Released with no finger and at the centre: nothing to report.
  std::size_t count = reports.size();
  wheel->releaseTouches();
  EXPECT_EQ(reports.size(), count);
}

TEST_F(SteeringWheelTest, ATapGivesASecondHapticAndLeavesTheWheelCentred) {
  window->tap(at(0, -50));
  EXPECT_EQ(impacts(), 2u);  // touch-down and the tap
  EXPECT_TRUE(reports.empty());
  window->tap(at(-30, 40));  // a tap in the lower half turns and returns
  EXPECT_EQ(reports, (std::vector<double>{-1.0, 0.0}));
  for (const auto& impact : ImpactFeedbackGenerator::recordedImpacts()) {
    EXPECT_EQ(impact.style, ImpactFeedbackGenerator::Style::medium);
  }
}

TEST_F(SteeringWheelTest, ComesFromAnArchiveWithItsFrameAndTakesAnImage) {
  platform::foundation::KeyedArchive archive;
  wheel->encode(archive);
  auto copy = SteeringWheel::make(platform::foundation::KeyedArchive::fromText(archive.text()));
  EXPECT_EQ(copy->frame(), (Rect{100, 100, 170, 170}));
  EXPECT_TRUE(copy->isVibrationSupported());
  ASSERT_TRUE(copy->steeringWheelImageView());
  auto image = Image::fromPixels(2, 2, std::vector<std::uint32_t>(4, 0xff000000u));
  copy->setWheelImage(image);
  EXPECT_EQ(copy->steeringWheelImageView()->image(), image);
  // The image view fills the wheel.
  copy->layoutIfNeeded();
  EXPECT_EQ(copy->steeringWheelImageView()->frame(), (Rect{0, 0, 170, 170}));
  // A damaged archive gives a working, empty-framed wheel.
  auto odd = SteeringWheel::make(platform::foundation::KeyedArchive::fromText("[not an archive"));
  EXPECT_EQ(odd->frame(), Rect{});
  EXPECT_EQ(odd->angle(), 0.0);
}

}  // namespace
}  // namespace lumo::test
