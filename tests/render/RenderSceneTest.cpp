#include <gtest/gtest.h>

#include <cstdlib>
#include <numbers>

#include "platform/render/Renderer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::render::Bitmap;
using platform::render::Renderer;

std::shared_ptr<Image> solid(int w, int h, std::uint32_t argb) {
  return Image::fromPixels(w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, argb));
}

bool near(const Color& c, double r, double g, double b, double tolerance = 0.06) {
  return std::abs(c.red - r) < tolerance && std::abs(c.green - g) < tolerance && std::abs(c.blue - b) < tolerance;
}

int inkIn(const Bitmap& bitmap, const Rect& r) {
  int count = 0;
  for (int y = int(r.minY()); y < int(r.maxY()); ++y) {
    for (int x = int(r.minX()); x < int(r.maxX()); ++x) {
      Color c = bitmap.pixelColor(x, y);
      count += (c.red + c.green + c.blue) < 0.6;
    }
  }
  return count;
}

class RenderSceneTest : public VirtualTimeTest {
 protected:
  // The scene: gradient backdrop, rounded bordered card, rotated image, bold CJK label,
  // tinted symbol and a translucent overlay.
  void build() {
    window = Window::make(Rect{0, 0, 400, 300});
    auto backdrop = View::make({0, 0, 400, 300});
    auto gradient = GradientLayer::make();
    gradient->setFrame({0, 0, 400, 300});
    gradient->colors = {Color::redColor(), Color::blueColor()};
    gradient->startPoint = {0, 0.5};
    gradient->endPoint = {1, 0.5};
    backdrop->layer()->insertSublayer(gradient, 0);
    window->addSubview(backdrop);

    card = View::make({40, 40, 160, 100});
    card->setBackgroundColor(Color::white());
    card->layer()->setCornerRadius(20);
    card->layer()->setBorderWidth(4);
    card->layer()->setBorderColor(Color::greenColor());
    card->setClipsToBounds(true);
    window->addSubview(card);

    auto bar = ImageView::make(solid(20, 60, 0xffff00ffu));  // magenta
    bar->setFrame({260, 40, 20, 60});
    bar->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
    window->addSubview(bar);

    label = Label::make({40, 180, 200, 50});
    label->setText("蓝牙遥控");
    label->setFont(Font::boldSystemFont(32));
    label->setTextColor(Color::black());
    auto plate = View::make({30, 170, 220, 70});
    plate->setBackgroundColor(Color::white());
    window->addSubview(plate);
    window->addSubview(label);

    auto symbol = ImageView::make(Image::systemNamed("car.fill"));
    symbol->setFrame({300, 180, 60, 60});
    symbol->setTintColor(Color::orange());
    window->addSubview(symbol);

    auto overlay = View::make({200, 150, 200, 150});
    overlay->setBackgroundColor(Color::black());
    overlay->setAlpha(0.5);
    window->addSubview(overlay);
    window->setHidden(false);
  }

  std::shared_ptr<Window> window;
  std::shared_ptr<View> card;
  std::shared_ptr<Label> label;
};

TEST_F(RenderSceneTest, EachElementLandsWhereItMust) {
  build();
  Renderer renderer;
  Bitmap frame = renderer.render(*window);
  ASSERT_EQ(frame.width(), 400);
  ASSERT_EQ(frame.height(), 300);

  // Gradient: red at the left edge, blue at the right, purple between.
  EXPECT_TRUE(near(frame.pixelColor(1, 5), 1, 0, 0));
  EXPECT_TRUE(near(frame.pixelColor(398, 5), 0, 0, 1));
  EXPECT_TRUE(near(frame.pixelColor(200, 5), 0.5, 0, 0.5));
  // Card: white inside, green border along its edge, gradient in the cut-off corner.
  EXPECT_TRUE(near(frame.pixelColor(120, 90), 1, 1, 1));
  EXPECT_TRUE(near(frame.pixelColor(120, 42), 0, 1, 0));
  EXPECT_TRUE(near(frame.pixelColor(41, 41), 0.9, 0, 0.1, 0.1));
  // The 20 × 60 bar turned a quarter: now 60 wide, 20 high, centred at (270, 70).
  EXPECT_TRUE(near(frame.pixelColor(245, 70), 1, 0, 1));
  EXPECT_TRUE(near(frame.pixelColor(295, 75), 1, 0, 1));
  EXPECT_FALSE(near(frame.pixelColor(270, 45), 1, 0, 1));
  // The label's glyphs: ink inside its text box, centred vertically, none beyond 4 em.
  Size text = Label::measure("蓝牙遥控", Font::boldSystemFont(32));
  int ink = inkIn(frame, {40, 180, text.width, 50});
  EXPECT_GT(ink, 600);
  EXPECT_EQ(inkIn(frame, {40 + text.width + 2, 180, 200 - text.width - 2, 50}), 0);
  // Tinted symbol under the overlay: orange darkened by half.
  bool orange = false;
  for (int x = 300; x < 360 && !orange; ++x) orange = near(frame.pixelColor(x, 215), 0.5, 0.25, 0);
  EXPECT_TRUE(orange);
  // Overlay: black at half opacity over the blue end of the gradient.
  EXPECT_TRUE(near(frame.pixelColor(398, 290), 0, 0, 0.5));
  EXPECT_TRUE(near(frame.pixelColor(398, 140), 0, 0, 1));  // just above it

  // Bold really is bold: the same text regular has less ink.
  label->setFont(Font::systemFont(32));
  Bitmap regular = renderer.render(*window);
  EXPECT_LT(inkIn(regular, {40, 180, 200, 50}), ink * 0.9);

  auto path = sandboxDir() / "scene.png";
  ASSERT_TRUE(renderer.renderToPng(*window, path));
  auto decoded = Image::fromFile(path);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->size(), (Size{400, 300}));
  if (const char* dir = std::getenv("LUMO_SCREENSHOT_DIR")) {
    label->setFont(Font::boldSystemFont(32));
    Renderer(2.0).renderToPng(*window, std::filesystem::path(dir) / "render-scene.png");
  }
}

TEST_F(RenderSceneTest, MidAnimationFramesShowPresentationValues) {
  build();
  window->layoutIfNeeded();
  View::animate(std::chrono::milliseconds(400), std::chrono::milliseconds(0), AnimationOption::curveLinear,
                [&] { card->setAlpha(0); });
  runFor(std::chrono::milliseconds(200));
  Renderer renderer;
  Bitmap frame = renderer.render(*window);
  // Half-faded white card over the gradient's red side.
  Color c = frame.pixelColor(60, 90);
  EXPECT_NEAR(c.green, 0.5, 0.08);
  runFor(std::chrono::milliseconds(200));
  frame = renderer.render(*window);
  EXPECT_LT(frame.pixelColor(60, 90).green, 0.05);
  // A hidden window draws black; a scale of 2 doubles the pixels.
  window->setHidden(true);
  EXPECT_TRUE(near(renderer.render(*window).pixelColor(10, 10), 0, 0, 0));
  window->setHidden(false);
  EXPECT_EQ(Renderer(2.0).render(*window).width(), 800);
  // Empty and very long texts draw without trouble.
  label->setText("");
  renderer.render(*window);
  label->setText(std::string(5000, 'W'));
  label->setNumberOfLines(0);
  EXPECT_EQ(renderer.render(*window).height(), 300);
}

}  // namespace
}  // namespace lumo::test
