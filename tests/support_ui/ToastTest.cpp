#include <thread>

#include "lumosdk/utils/DialogUtil.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;

class ToastTest : public SupportUiTest {
 protected:
  // Toasts are the views the window holds besides the root controller's.
  std::vector<std::shared_ptr<View>> toasts() const {
    std::vector<std::shared_ptr<View>> found;
    for (const auto& child : window->subviews()) {
      if (child != root->view()) found.push_back(child);
    }
    return found;
  }
};

TEST_F(ToastTest, EachToastFadesInAndIsRemovedOnePointEightSecondsAfterItAppeared) {
  DialogUtil::showToast("已发送开柜指令");
  runFor(milliseconds(1));
  ASSERT_EQ(toasts().size(), 1u);
  auto first = toasts().front();
  EXPECT_LT(first->presentationAlpha(), 0.01);
  EXPECT_NE(labelWithText(first, "已发送开柜指令"), nullptr);
  EXPECT_DOUBLE_EQ(first->center().x, window->bounds().midX());
  EXPECT_DOUBLE_EQ(first->center().y, window->bounds().midY());
  EXPECT_FALSE(first->isUserInteractionEnabled());

  runFor(milliseconds(499));  // t = 0.5
  EXPECT_DOUBLE_EQ(first->presentationAlpha(), 1.0);
  std::thread([] { DialogUtil::showToast("第二条"); }).join();
  runFor(milliseconds(1));
  ASSERT_EQ(toasts().size(), 2u);  // independent: both visible

  runFor(milliseconds(1290));  // t = 1.791
  EXPECT_EQ(first->superview(), window);
  EXPECT_LT(first->presentationAlpha(), 0.1);
  runFor(milliseconds(10));  // t = 1.801
  EXPECT_EQ(first->superview(), nullptr);
  EXPECT_EQ(toasts().size(), 1u);
  runFor(milliseconds(600));  // the second one, 1.8 s after its own start
  EXPECT_TRUE(toasts().empty());
}

TEST_F(ToastTest, EmptyAndEndlessMessagesStayInsideTheWindowAndNoWindowMeansNoToast) {
  std::string endless;
  for (int i = 0; i < 2000; ++i) endless += "车辆状态异常";
  DialogUtil::showToast(endless);
  DialogUtil::showToast("");
  runFor(milliseconds(1));
  ASSERT_EQ(toasts().size(), 2u);
  for (const auto& toast : toasts()) {
    Rect frame = toast->frame();
    EXPECT_GE(frame.minX(), 50);
    EXPECT_LE(frame.maxX(), window->bounds().width() - 50);
    EXPECT_GE(frame.minY(), 0);
    EXPECT_LE(frame.maxY(), window->bounds().height());
  }

  window->setHidden(true);
  DialogUtil::showToast("看不见");
  runFor(milliseconds(1));
  EXPECT_TRUE(consoleHas("DialogUtil:[DialogUtil] showToast 未找到 active window"));
  EXPECT_EQ(toasts().size(), 2u);
  // A window torn down under its toasts: the pending fade-outs find nothing to do.
  window.reset();
  Application::shared().resetForTesting();
  runFor(std::chrono::seconds(3));
}

}  // namespace
}  // namespace lumo::test
