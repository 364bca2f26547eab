#include <gtest/gtest.h>

#include <fstream>

#include "platform/foundation/BundleInfo.h"
#include "platform/render/Bitmap.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;

using TextAndImageTest = UiTest;

TEST_F(TextAndImageTest, CjkTextIsMeasuredWithTheInstalledFace) {
  // CJK glyphs are one em wide: four of them at 16 points take 64 points.
  Size plain = Label::measure("蓝牙遥控", Font::systemFont(16));
  EXPECT_NEAR(plain.width, 64, 2);
  EXPECT_GT(plain.height, 16);
  EXPECT_LT(plain.height, 32);
  Size bold = Label::measure("蓝牙遥控", Font::boldSystemFont(16));
  EXPECT_NEAR(bold.width, 64, 2);
  // Mixed text: "VIN: ABC" is Latin, narrower than the same count of CJK glyphs.
  EXPECT_LT(Label::measure("VIN: ABC", Font::systemFont(14)).width, 8 * 14);
  EXPECT_EQ(Label::measure("", Font::systemFont(14)), (Size{0, 0}));

  auto label = Label::make();
  label->setFont(Font::systemFont(14));
  label->setText("请与车辆保持2米以内安全范围遥控");
  Size one = label->intrinsicContentSize();
  // One line never wraps: it is clipped to the limit.
  EXPECT_EQ(label->sizeThatFits({100, 0}).width, 100);
  EXPECT_EQ(label->sizeThatFits({100, 0}).height, one.height);
  // Unlimited lines wrap at the limit and grow downward.
  label->setNumberOfLines(0);
  Size wrapped = label->sizeThatFits({100, 0});
  EXPECT_LE(wrapped.width, 100);
  EXPECT_GE(wrapped.height, 2 * one.height - 2);
  label->setNumberOfLines(2);
  EXPECT_LT(label->sizeThatFits({100, 0}).height, wrapped.height);

  // Very long text and bytes that are not UTF-8 are measured without trouble.
  std::string longText(20000, 'x');
  EXPECT_GT(Label::measure(longText, Font::systemFont(12), 300, 0).height, 1000);
  EXPECT_EQ(Label::measure(std::string("\xff\xfe\xfd", 3), Font::systemFont(12)).width, 0);
}

TEST_F(TextAndImageTest, AWrappedTextNeverEndsWithALoneCharacter) {
  Font font = Font::systemFont(16);
  double line = Label::measure("车", font).height;
  // Nine glyphs where eight fit: the ninth would stand alone, so two go down together and
  // the first line holds seven.
  Size nine = Label::measure("确认打开车辆的车门", font, 8 * 16 + 4, 0);
  EXPECT_NEAR(nine.width, 7 * 16, 2);
  EXPECT_NEAR(nine.height, 2 * line, 2);
  // Where a narrower text would need a third line, or lines are limited to one, nothing moves.
  EXPECT_NEAR(Label::measure("确认打", font, 2 * 16 + 4, 0).width, 2 * 16, 2);
  EXPECT_NEAR(Label::measure("确认打开车辆的车门", font, 8 * 16 + 4, 1).width, 8 * 16 + 4, 2);
  EXPECT_NEAR(Label::measure("确认打开", font, 200, 0).width, 4 * 16, 2);
}

TEST_F(TextAndImageTest, ShrinkToFitReducesTheFontUntilTheTextFits) {
  auto label = Label::make({0, 0, 60, 20});
  label->setFont(Font::systemFont(14));
  label->setText("已切换到方向盘模式");  // 9 glyphs: 126 points at full size
  EXPECT_EQ(label->effectiveFontSize(), 14);
  label->setAdjustsFontSizeToFitWidth(true);
  label->setMinimumScaleFactor(0.2);
  EXPECT_NEAR(label->effectiveFontSize(), 14 * 60.0 / 126, 0.6);
  EXPECT_LE(Label::measure(label->text(), label->font().withSize(label->effectiveFontSize())).width, 60);
  label->setMinimumScaleFactor(0.8);
  EXPECT_NEAR(label->effectiveFontSize(), 14 * 0.8, 1e-9);
  label->setText("短");
  EXPECT_EQ(label->effectiveFontSize(), 14);
}

TEST_F(TextAndImageTest, PngImagesCatalogueAndSymbols) {
  // A 3 × 2 PNG written by the renderer's encoder, decoded back.
  std::vector<std::uint32_t> pixels(6, 0xff0000ffu);  // opaque blue
  pixels[5] = 0x80800000u;                           // half-transparent red, premultiplied
  platform::render::Bitmap bitmap(3, 2, pixels);
  auto resources = sandboxDir() / "bundle";
  std::filesystem::create_directories(resources / "Images");
  ASSERT_TRUE(bitmap.writePng(resources / "Images" / "dot.png"));
  auto image = Image::fromFile(resources / "Images" / "dot.png");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), (Size{3, 2}));
  EXPECT_NEAR(image->pixelColor(0, 0).blue, 1.0, 1e-9);
  EXPECT_NEAR(image->pixelColor(2, 1).red, 1.0, 0.01);
  EXPECT_NEAR(image->pixelColor(2, 1).alpha, 0.5, 0.01);

  // By name from a catalogue folder, with or without the extension; @2x gives scale 2.
  EXPECT_TRUE(Image::named("dot", resources / "Images"));
  EXPECT_TRUE(Image::named("dot.png", resources / "Images"));
  std::filesystem::copy_file(resources / "Images" / "dot.png", resources / "Images" / "big@2x.png");
  auto big = Image::named("big", resources / "Images");
  ASSERT_TRUE(big);
  EXPECT_EQ(big->size(), (Size{1.5, 1}));
  platform::foundation::BundleInfo::main().setResourceDirectory(resources);
  EXPECT_TRUE(Image::named("dot"));
  platform::foundation::BundleInfo::main().resetForTesting();

  // Missing files, files that are not PNG, truncated PNGs and odd names give none.
  EXPECT_FALSE(Image::fromFile(resources / "missing.png"));
  EXPECT_FALSE(Image::named("missing", resources / "Images"));
  EXPECT_FALSE(Image::named("../bundle/Images/dot", resources / "Images"));
  std::ofstream(resources / "text.png") << "not an image at all";
  EXPECT_FALSE(Image::fromFile(resources / "text.png"));
  std::ifstream in(resources / "Images" / "dot.png", std::ios::binary);
  platform::Bytes png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  png.resize(png.size() / 2);
  EXPECT_FALSE(Image::fromData(png));
  EXPECT_FALSE(Image::fromData({}));

  // The grid's symbols exist as template images; an unknown one does not.
  for (const char* name : {"chevron.backward", "exclamationmark.triangle.fill", "car.fill", "lock.open.fill",
                           "location.fill", "lock.fill", "power", "wind", "window.shade.closed", "lightbulb.fill",
                           "car.2.fill"}) {
    auto symbol = Image::systemNamed(name);
    ASSERT_TRUE(symbol) << name;
    EXPECT_TRUE(symbol->isTemplate());
    int inked = 0;
    for (int y = 0; y < symbol->pixelHeight(); ++y) {
      for (int x = 0; x < symbol->pixelWidth(); ++x) inked += symbol->pixelColor(x, y).alpha > 0.5;
    }
    EXPECT_GT(inked, 100) << name;
  }
  EXPECT_FALSE(Image::systemNamed("no.such.symbol"));
  EXPECT_FALSE(Image::systemNamed("car.fill")->withRenderingMode(Image::RenderingMode::alwaysOriginal)->isTemplate());
}

TEST_F(TextAndImageTest, ImageViewPlacesImagesByContentMode) {
  auto image = Image::fromPixels(40, 20, std::vector<std::uint32_t>(800, 0xff000000u));
  auto view = ImageView::make({0, 0, 100, 100});
  view->setImage(image);
  view->setContentMode(ContentMode::scaleAspectFit);
  EXPECT_EQ(view->imageRect(), (Rect{0, 25, 100, 50}));
  view->setContentMode(ContentMode::scaleAspectFill);
  EXPECT_EQ(view->imageRect(), (Rect{-50, 0, 200, 100}));
  view->setContentMode(ContentMode::center);
  EXPECT_EQ(view->imageRect(), (Rect{30, 40, 40, 20}));
  EXPECT_EQ(view->intrinsicContentSize(), (Size{40, 20}));
  view->setImage(nullptr);
  EXPECT_EQ(view->intrinsicContentSize().width, kNoIntrinsicMetric);
}

TEST_F(TextAndImageTest, TextFieldTakesFocusOnTapAndEditsUtf8) {
  auto field = TextField::make({10, 10, 200, 40});
  field->setPlaceholder("VIN");
  window->addSubview(field);
  window->makeKeyAndVisible();
  std::vector<std::string> edits;
  field->addTarget([&] { edits.push_back(field->text()); }, ControlEvent::editingChanged);
  window->insertText("lost");  // nothing is focused yet
  window->tap({20, 20});
  EXPECT_TRUE(field->isFirstResponder());
  window->insertText("车A");
  window->deleteBackward();
  window->deleteBackward();
  window->deleteBackward();  // nothing left: no event
  EXPECT_EQ(edits, (std::vector<std::string>{"车A", "车", ""}));
  // Leaving the window ends the focus.
  field->removeFromSuperview();
  EXPECT_FALSE(field->isFirstResponder());
  window->insertText("x");
  EXPECT_EQ(field->text(), "");
}

}  // namespace
}  // namespace lumo::test
