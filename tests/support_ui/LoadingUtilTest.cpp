#include <thread>

#include "lumosdk/utils/DialogUtil.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "tests/support_ui/SupportUiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using std::chrono::milliseconds;

class LoadingUtilTest : public SupportUiTest {
 protected:
  std::size_t overlaysInWindow() const {
    std::size_t count = 0;
    for (const auto& child : window->subviews()) count += child == LoadingUtil::loadingView() ? 1 : 0;
    return count;
  }
};

TEST_F(LoadingUtilTest, OneOverlayAtATimeCoveringTheWindowAndBlockingTouches) {
  auto button = Button::make(Button::Type::system, {20, 100, 100, 44});
  int taps = 0;
  button->addTarget([&] { ++taps; }, ControlEvent::touchUpInside);
  root->view()->addSubview(button);

  LoadingUtil::show("加载中...");
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);  // always a later turn of the main thread
  runFor(milliseconds(1));
  auto first = LoadingUtil::loadingView();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->superview(), window);
  EXPECT_EQ(first->frame(), window->bounds());
  EXPECT_EQ(LoadingUtil::messageLabel()->text(), "加载中...");
  EXPECT_TRUE(LoadingUtil::messageLabel()->adjustsFontSizeToFitWidth());
  bool spinning = false;
  for (const auto& view : allViews(first)) {
    if (auto spinner = std::dynamic_pointer_cast<ActivityIndicatorView>(view)) spinning = spinner->isAnimating();
  }
  EXPECT_TRUE(spinning);
  window->tap({70, 122});
  EXPECT_EQ(taps, 0);

  LoadingUtil::show("第二条");
  runFor(milliseconds(1));
  EXPECT_EQ(first->superview(), nullptr);
  EXPECT_EQ(overlaysInWindow(), 1u);
  EXPECT_EQ(LoadingUtil::messageLabel()->text(), "第二条");

  // One dismiss removes it however many shows came before; acting at once on the main thread.
  LoadingUtil::dismiss();
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
  EXPECT_EQ(window->subviews().size(), 1u);
  window->tap({70, 122});
  EXPECT_EQ(taps, 1);

  clearRecordedLines();
  LoadingUtil::dismiss();
  EXPECT_EQ(consoleLines(), std::vector<std::string>{"LoadingUtil:[LoadingUtil] dismiss 被调用但 loadingView 为空"});
}

TEST_F(LoadingUtilTest, WithoutAUsableWindowNothingIsShown) {
  window->setHidden(true);
  LoadingUtil::show("加载中...");
  runFor(milliseconds(1));
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
  EXPECT_TRUE(consoleHas("LoadingUtil:[LoadingUtil] show 无法找到 active window"));
}

TEST_F(LoadingUtilTest, CallsFromAnotherThreadKeepTheirOrder) {
  std::thread worker([] {
    DialogUtil::showWaitDialog("请稍候");
    DialogUtil::dismissWaitDialog();
    LoadingUtil::show("最后一条");
  });
  worker.join();
  runFor(milliseconds(1));
  ASSERT_NE(LoadingUtil::loadingView(), nullptr);
  EXPECT_EQ(LoadingUtil::messageLabel()->text(), "最后一条");
  EXPECT_EQ(overlaysInWindow(), 1u);

  std::thread dismisser([] { LoadingUtil::dismiss(); });
  dismisser.join();
  EXPECT_NE(LoadingUtil::loadingView(), nullptr);  // queued, not yet run
  runFor(milliseconds(1));
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);
}

TEST_F(LoadingUtilTest, ADismissOnTheMainThreadCancelsAShowStillQueued) {
  // The backend client shows the overlay and, for a request it cannot even build, removes it
  // in the same call: the overlay must not come back afterwards.
  LoadingUtil::installAsNetworkOverlay();
  bool failed = false;
  NetworkUtil::post(root, "not a url", nlohmann::json::object(), true, std::nullopt,
                    [&](const auto&) { failed = true; });
  runFor(milliseconds(10));
  EXPECT_TRUE(failed);
  EXPECT_EQ(LoadingUtil::loadingView(), nullptr);

  // A show issued after that dismiss still shows.
  LoadingUtil::show("再来");
  runFor(milliseconds(1));
  EXPECT_NE(LoadingUtil::loadingView(), nullptr);
}

}  // namespace
}  // namespace lumo::test
