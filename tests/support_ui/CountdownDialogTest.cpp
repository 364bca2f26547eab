#include "lumosdk/utils/DialogUtil.h"
#include "lumosdk/utils/dialogs/CountdownDialogViewController.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;

class CountdownDialogTest : public SupportUiTest {
 protected:
  std::shared_ptr<CountdownDialogViewController> show(int seconds) {
    DialogUtil::showCountdownDialog(root, "接管提醒", "车辆即将被接管", seconds, "立即接管", [this] { ++positive; },
                                    "稍后", [this] { ++negative; });
    runFor(milliseconds(400));
    return std::dynamic_pointer_cast<CountdownDialogViewController>(root->presentedViewController());
  }
  int positive = 0;
  int negative = 0;
};

TEST_F(CountdownDialogTest, ExpiresIntoThePositiveCallbackAndIgnoresTheBackground) {
  auto dialog = show(2);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->countdownLabel()->text(), "2秒");
  auto yes = dialog->positiveButton()->convertRectTo(dialog->positiveButton()->bounds(), nullptr);
  auto no = dialog->negativeButton()->convertRectTo(dialog->negativeButton()->bounds(), nullptr);
  EXPECT_LT(yes.maxY(), no.minY());  // stacked, positive first
  EXPECT_DOUBLE_EQ(yes.width(), 300 - 40);

  window->tap({10, 10});
  runFor(milliseconds(700));
  EXPECT_EQ(dialog->countdownLabel()->text(), "1秒");
  EXPECT_EQ(root->presentedViewController(), dialog);
  runFor(milliseconds(1000));
  EXPECT_EQ(dialog->countdownLabel()->text(), "0秒");
  runFor(milliseconds(300));
  EXPECT_EQ(positive, 1);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  runFor(std::chrono::seconds(3));
  EXPECT_EQ(positive, 1);
  EXPECT_EQ(negative, 0);
}

TEST_F(CountdownDialogTest, TheNegativeButtonWinsOverTheCountdown) {
  auto dialog = show(1);
  ASSERT_NE(dialog, nullptr);
  tapView(dialog->negativeButton());
  runFor(std::chrono::seconds(3));
  EXPECT_EQ(negative, 1);
  EXPECT_EQ(positive, 0);
  EXPECT_EQ(dialog->countdownLabel()->text(), "1秒");
}

}  // namespace
}  // namespace lumo::test
