#include <cstdlib>

#include "platform/render/Renderer.h"
#include "tests/support/Screenshots.h"
#include "tests/detail/DetailFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::render::Bitmap;
using platform::render::Renderer;
using std::chrono::milliseconds;

// Renders the detail page and the cabinet confirmation at portrait phone size; with
// LUMO_SCREENSHOT_DIR set the pictures are kept there (docs/screenshots comes from here).
class DetailScreenshotTest : public DetailFixture {
 protected:
  Bitmap shoot(const std::string& name) {
    Bitmap frame = renderer.render(*window);
    EXPECT_EQ(frame.width(), 390);
    EXPECT_EQ(frame.height(), 844);
    keepScreenshot(frame, sandboxDir(), name);
    return frame;
  }

  // Glyph pixels (anything clearly darker than the light backgrounds) inside the label's
  // own frame, and a frame not filled by them.
  static void expectDrawn(const Bitmap& frame, const Label& label) {
    Rect box = label.convertRectTo(label.bounds(), nullptr);
    int ink = 0;
    for (int y = int(box.minY()); y < int(box.maxY()); ++y) {
      for (int x = int(box.minX()); x < int(box.maxX()); ++x) {
        Color c = frame.pixelColor(x, y);
        ink += c.red + c.green + c.blue < 2.6;
      }
    }
    EXPECT_GE(ink, 15) << "no glyphs for \"" << label.text() << "\"";
    EXPECT_LT(ink, int(box.width() * box.height() * 0.6)) << "\"" << label.text() << "\" is a block";
  }

  Renderer renderer;
};

TEST_F(DetailScreenshotTest, DetailPageAndCabinetConfirmation) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  runFor(milliseconds(500));
  Bitmap detail = shoot("detail-page");
  for (const std::string& text : std::vector<std::string>{"配送车 001", "车辆信息", "VIN: " + std::string(sim::BackendSimulator::kDemoVin),
                                 "车门已锁定", "远程控制", "蓝牙遥控", "打开车门", "行程记录"}) {
    auto label = labelWithText(page->view(), text);
    ASSERT_NE(label, nullptr) << text;
    // Nothing is cut: every label is as wide as its text and lies on screen.
    EXPECT_GE(label->bounds().width() + 0.5, label->intrinsicContentSize().width) << text;
    Rect box = label->convertRectTo(label->bounds(), nullptr);
    EXPECT_GE(box.minX(), 0);
    EXPECT_LE(box.maxX(), 390);
    expectDrawn(detail, *label);
  }

  tapItem(page, "打开车门");
  runFor(milliseconds(600));
  ASSERT_NE(cabinetDialog(), nullptr);
  Bitmap dialog = shoot("cabinet-confirmation");
  auto message = labelWithText(cabinetDialog()->view(), "确认打开" + std::string(sim::BackendSimulator::kDemoVin) + "的车门");
  ASSERT_NE(message, nullptr);
  expectDrawn(dialog, *message);
}

}  // namespace
}  // namespace lumo::test
