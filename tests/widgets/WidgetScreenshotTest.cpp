#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>

#include "lumosdk/widgets/CustomSwitch.h"
#include "lumosdk/widgets/ScaledResourceImage.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/render/Renderer.h"
#include "platform/ui/Label.h"
#include "tests/support/Screenshots.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::render::Bitmap;
using platform::render::Renderer;

bool near(const Color& c, const Color& want, double tolerance = 0.06) {
  return std::abs(c.red - want.red) < tolerance && std::abs(c.green - want.green) < tolerance &&
         std::abs(c.blue - want.blue) < tolerance;
}

// Pixels of `r` (points) near `want`.
int count(const Bitmap& frame, double scale, const Rect& r, const Color& want) {
  int n = 0;
  for (int y = int(r.minY() * scale); y < int(r.maxY() * scale); ++y) {
    for (int x = int(r.minX() * scale); x < int(r.maxX() * scale); ++x) n += near(frame.pixelColor(x, y), want) ? 1 : 0;
  }
  return n;
}

// The three mode switches off and on, and the wheel held at 1:30, on the page's
// background. Each picture is checked; with LUMO_SCREENSHOT_DIR set it is also kept there.
class WidgetScreenshotTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    stage = View::make({0, 0, 390, 230});
    auto gradient = GradientLayer::make();
    gradient->setFrame(stage->bounds());
    gradient->colors = {Color::rgb255(200, 212, 232), Color::rgb255(190, 205, 231)};
    gradient->startPoint = {0, 0.5};
    gradient->endPoint = {1, 0.5};
    stage->layer()->addSublayer(gradient);
    window->addSubview(stage);
    window->makeKeyAndVisible();
  }

  Bitmap shoot(double scale, const std::string& name) {
    Renderer renderer(scale);
    renderer.drawView(*stage);
    Bitmap frame = renderer.frame();
    keepScreenshot(frame, sandboxDir(), name);
    return frame;
  }

  std::shared_ptr<View> stage;
};

TEST_F(WidgetScreenshotTest, SwitchesOffAndOnAtOneAndThreeTimesScale) {
  const char* icons[3] = {"key_switch_icon.png", "speed_mode_icon.png", "safe_mode_icon.png"};
  const char* labels[3] = {"按键\n转向", "加速\n模式", "安全\n保护"};
  std::shared_ptr<CustomSwitch> switches[2][3];
  for (int row = 0; row < 2; ++row) {
    for (int column = 0; column < 3; ++column) {
      double x = 20 + column * 120, y = 40 + row * 90;
      auto label = Label::make({x, y, 40, 35});
      label->setText(labels[column]);
      label->setNumberOfLines(2);
      label->setFont(Font::boldSystemFont(11));
      label->setTextColor(Color::rgb255(51, 49, 49));
      label->setTextAlignment(TextAlignment::center);
      stage->addSubview(label);
      auto control = CustomSwitch::make(Rect{x + 48, y, 58, 35});
      control->setIconOn(icons[column]);
      control->setOn(row == 1, false);
      stage->addSubview(control);
      switches[row][column] = control;
    }
  }
  stage->layoutIfNeeded();
  for (double scale : {1.0, 3.0}) {
    Bitmap frame = shoot(scale, scale == 1 ? "switches-1x" : "switches-3x");
    ASSERT_EQ(frame.width(), int(390 * scale));
    auto pixel = [&](double x, double y) { return frame.pixelColor(int(x * scale), int(y * scale)); };
    for (int column = 0; column < 3; ++column) {
      Rect off = switches[0][column]->frame(), on = switches[1][column]->frame();
      // Off: grey track on the right, white thumb on the left (its rim, outside the icon).
      EXPECT_TRUE(near(pixel(off.maxX() - 4, off.midY()), Color::rgb255(224, 224, 224))) << column;
      EXPECT_TRUE(near(pixel(off.minX() + 2.5, off.midY()), Color::white())) << column;
      // The icon in the off tint inside the thumb, the on tint inside the other.
      const double enough = 20 * scale * scale;
      EXPECT_GT(count(frame, scale, {off.minX() + 6, off.minY() + 6, 23, 23}, Color::rgb255(133, 155, 199)), enough)
          << column;
      EXPECT_GT(count(frame, scale, {on.maxX() - 29, on.minY() + 6, 23, 23}, Color::rgb255(8, 85, 242)), enough)
          << column;
      // On: blue track on the left, white thumb on the right.
      EXPECT_TRUE(near(pixel(on.minX() + 4, on.midY()), Color::rgb255(0, 82, 217))) << column;
      EXPECT_TRUE(near(pixel(on.maxX() - 2.5, on.midY()), Color::white())) << column;
    }
  }
}

TEST_F(WidgetScreenshotTest, WheelHeldAtHalfPastOne) {
  auto wheel = SteeringWheel::make(Rect{110, 30, 170, 170});
  auto image = loadScaledResourceImage("steering_wheel.png");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->scale(), 3.0);
  EXPECT_EQ(image->size(), (Size{170, 170}));
  wheel->setWheelImage(image);
  stage->addSubview(wheel);
  stage->layoutIfNeeded();
  // A finger at 1:30 turns the wheel an eighth of a turn to the right and holds it there.
  window->touchDown(1, {195, 70});
  window->touchMove(1, {245, 65});
  window->touchMove(1, {255, 55});
  ASSERT_NEAR(wheel->angle(), std::numbers::pi / 4, 1e-9);
  Bitmap frame = shoot(3, "steering-wheel-turned");
  auto pixel = [&](double x, double y) { return frame.pixelColor(int(x * 3), int(y * 3)); };
  // The blue marker of the rim has moved from 12 o'clock to 1:30.
  double radius = 170 * 0.44, c = std::sqrt(0.5) * radius;
  EXPECT_TRUE(near(pixel(195 + c, 115 - c), Color::rgb255(0, 82, 217), 0.1));
  EXPECT_FALSE(near(pixel(195, 115 - radius), Color::rgb255(0, 82, 217), 0.1));
  window->touchUp(1, {255, 55});
}

}  // namespace
}  // namespace lumo::test
