#include <gtest/gtest.h>

#include <functional>

#include "platform/render/Renderer.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "tests/report/SessionStory.h"
#include "tests/support/Screenshots.h"
#include "tests/support/VirtualTimeTest.h"
#include "tools/session_report/TimelinePicture.h"

namespace report::test {
namespace {

using namespace platform::ui;

class TimelinePictureTest : public lumo::test::VirtualTimeTest {
 protected:
  static std::vector<std::shared_ptr<Label>> labels(const View& picture) {
    std::vector<std::shared_ptr<Label>> found;
    for (const auto& view : picture.subviews()) {
      if (auto label = std::dynamic_pointer_cast<Label>(view)) found.push_back(label);
    }
    return found;
  }
  static std::shared_ptr<Label> labelStarting(const View& picture, const std::string& prefix) {
    for (const auto& label : labels(picture)) {
      if (label->text().rfind(prefix, 0) == 0) return label;
    }
    return nullptr;
  }
  // Every text inside the picture, none over another.
  static void expectReadable(const View& picture) {
    auto all = labels(picture);
    for (std::size_t i = 0; i < all.size(); ++i) {
      Rect frame = all[i]->frame();
      EXPECT_GE(frame.minX(), 0) << all[i]->text();
      EXPECT_LE(frame.maxX(), picture.bounds().width()) << all[i]->text();
      EXPECT_LE(frame.maxY(), picture.bounds().height()) << all[i]->text();
      for (std::size_t j = 0; j < i; ++j) {
        EXPECT_FALSE(frame.intersects(all[j]->frame())) << "\"" << all[i]->text() << "\" over \"" << all[j]->text() << "\"";
      }
    }
  }
  static platform::render::Bitmap draw(View& picture) {
    auto window = Window::make(picture.frame());
    window->addSubview(picture.shared_from_this());
    window->setHidden(false);
    return platform::render::Renderer().render(*window);
  }
  static int inkIn(const platform::render::Bitmap& bitmap, const Rect& frame) {
    int ink = 0;
    for (int y = static_cast<int>(frame.minY()); y < static_cast<int>(frame.maxY()); ++y) {
      for (int x = static_cast<int>(frame.minX()); x < static_cast<int>(frame.maxX()); ++x) {
        if (bitmap.pixelColor(x, y).red < 0.5) ++ink;
      }
    }
    return ink;
  }
};

TEST_F(TimelinePictureTest, ASessionDrawsEveryLaneWithReadableTexts) {
  auto story = SessionStory::typical();
  auto picture = TimelinePicture::make(story.trace);
  expectReadable(*picture);
  auto bitmap = draw(*picture);
  lumo::test::keepScreenshot(bitmap, sandboxDir(), "session-report");

  // Lane names, seconds on the axis and the legend.
  for (const char* text : {"Throttle", "Brake", "Steering", "Drive mode", "Authority", "Delay", "Link", "Inputs",
                           "Shown", "0 s", "10 s", "500 ms limit", "500 ms"}) {
    EXPECT_TRUE(labelStarting(*picture, text)) << text;
  }
  // The Chinese dialog text is drawn, glyphs and all.
  auto dialog = labelStarting(*picture, "dialog: 您的蓝牙延迟过大");
  ASSERT_TRUE(dialog);
  EXPECT_GT(inkIn(bitmap, dialog->frame()), 30);
  // The end is a line at its moment, its reason beside it.
  auto end = labelStarting(*picture, "end: delay");
  ASSERT_TRUE(end);
  auto steering = labelStarting(*picture, "Steering");
  double lineX = end->frame().maxX() + 6;  // near the right edge the text sits left of the line
  Color onLine = bitmap.pixelColor(static_cast<int>(lineX), static_cast<int>(steering->frame().midY()));
  EXPECT_GT(onLine.red, 0.5);
  EXPECT_LT(onLine.green, 0.2);
}

TEST_F(TimelinePictureTest, ACrowdOfTextsIsStaggeredAndCountedNotPiledUp) {
  auto story = SessionStory::typical();
  auto end = story.trace.end;
  story.trace.end.reset();
  constexpr int kToasts = 600;  // more than the picture even considers placing
  for (int i = 0; i < kToasts; ++i) {
    story.ui("toast", "show", "第 " + std::to_string(i) + " 条提示:请保持在车辆两米以内");
    story.pass(50 * SessionStory::kMs);
    story.ui("toast", "dismiss", "");
  }
  story.trace.end = end;
  story.trace.cut = SessionTrace::Cut{1234, "a record's CRC does not match"};
  auto picture = TimelinePicture::make(story.trace);
  expectReadable(*picture);
  EXPECT_TRUE(labelStarting(*picture, "Recording cut short at byte 1234"));
  auto more = labelStarting(*picture, "+");
  ASSERT_TRUE(more);
  EXPECT_NE(more->text().find("more not drawn"), std::string::npos);
  // Every text shown is either drawn or counted.
  int shows = 0, drawn = 0;
  for (const auto& ui : story.trace.ui) shows += ui.action == "show" ? 1 : 0;
  for (const auto& label : labels(*picture)) {
    drawn += label->text().rfind("toast: ", 0) == 0 || label->text().rfind("wait: ", 0) == 0 ||
             label->text().rfind("dialog: ", 0) == 0;
  }
  EXPECT_EQ(drawn + std::stoi(more->text().substr(1)), shows);
  lumo::test::keepScreenshot(draw(*picture), sandboxDir(), "session-report-crowded");
}

TEST_F(TimelinePictureTest, AnEmptyOrAbsurdlyLongRecordingStillDrawsABoundedPicture) {
  SessionTrace empty;
  empty.cut = SessionTrace::Cut{0, "not an MCAP file"};
  auto bitmap = TimelinePicture::render(empty, 800);
  EXPECT_EQ(bitmap.width(), 800);
  EXPECT_GT(bitmap.height(), 300);

  // A damaged time stamp far in the future: the axis keeps a handful of ticks.
  auto story = SessionStory::typical();
  story.trace.links.push_back({1'000'000'000'000'000'000, "idle"});
  auto picture = TimelinePicture::make(story.trace);
  EXPECT_LT(labels(*picture).size(), 100u);
  expectReadable(*picture);
}

}  // namespace
}  // namespace report::test
