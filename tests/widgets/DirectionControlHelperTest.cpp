#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "lumosdk/widgets/DirectionControlHelper.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/ui/UiTest.h"

namespace lumo::test {
namespace {

using namespace platform::ui;
using platform::foundation::NotificationCenter;
using platform::foundation::UserDefaults;
using std::chrono::milliseconds;
using Strings = std::vector<std::string>;

class Recorder : public ControlCallback {
 public:
  void onForwardSelect() override { events.push_back("forwardSelect"); }
  void onForwardRelease() override { events.push_back("forwardRelease"); }
  void onBackSelect() override { events.push_back("backSelect"); }
  void onBackRelease() override { events.push_back("backRelease"); }
  void onLeftSelect() override { events.push_back("leftSelect"); }
  void onLeftRelease() override { events.push_back("leftRelease"); }
  void onRightSelect() override { events.push_back("rightSelect"); }
  void onRightRelease() override { events.push_back("rightRelease"); }
  void onSteeringWheelAngleChanged(float angle) override { events.push_back("angle " + std::to_string(angle)); }
  Strings events;
};

// The page's control area at the bottom of a portrait window: forward/back pads on the
// left, the left/right pads in their container on the right, and the wheel.
// Window points: forward (95, 641), back (95, 729), left (251, 685), right (339, 685),
// wheel centre (295, 685).
class DirectionControlHelperTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    UserDefaults::resetStandardForTesting();
    page = ViewController::make();
    area = View::make({0, 600, 390, 170});
    auto throttle = View::make({10, 0, 170, 170});
    up = padView({0, 0, 170, 82});
    down = padView({0, 88, 170, 82});
    throttle->addSubview(up);
    throttle->addSubview(down);
    container = View::make({210, 0, 170, 170});
    left = padView({0, 0, 82, 170});
    right = padView({88, 0, 82, 170});
    container->addSubview(left);
    container->addSubview(right);
    area->addSubview(throttle);
    area->addSubview(container);
    wheel = SteeringWheel::make();
    page->view()->addSubview(area);
    show(page);
    recorder = std::make_shared<Recorder>();
    for (const char* name : {DirectionControlHelper::kSteeringWheelAnimationCompleted,
                             DirectionControlHelper::kButtonModeAnimationCompleted}) {
      tokens.push_back(NotificationCenter::defaultCenter().addObserver(
          name, [this](const platform::foundation::Notification& n) { posted.push_back(n.name); }));
    }
  }
  void TearDown() override {
    for (auto token : tokens) NotificationCenter::defaultCenter().removeObserver(token);
    helper.reset();
    UiTest::TearDown();
  }
  static std::shared_ptr<ImageView> padView(const Rect& frame) {
    auto pad = ImageView::make(frame);
    pad->setImage(Image::fromPixels(2, 2, std::vector<std::uint32_t>(4, 0xff103684u)));
    return pad;
  }
  void makeHelper() {
    helper = std::make_unique<DirectionControlHelper>(page, up, down, left, right, container, wheel);
    helper->setControlCallback(recorder);
    window->layoutIfNeeded();
  }
  Strings takeEvents() { return std::exchange(recorder->events, {}); }
  Strings linesWith(const std::string& prefix) const {
    Strings out;
    for (const auto& line : consoleLines()) {
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    }
    return out;
  }

  static constexpr Point kForward{95, 641}, kBack{95, 729}, kLeft{251, 685}, kRight{339, 685};
  static constexpr Point kWheelLowerLeft{265, 715};
  std::shared_ptr<ViewController> page;
  std::shared_ptr<View> area, container;
  std::shared_ptr<ImageView> up, down, left, right;
  std::shared_ptr<SteeringWheel> wheel;
  std::shared_ptr<Recorder> recorder;
  std::unique_ptr<DirectionControlHelper> helper;
  std::vector<NotificationCenter::Token> tokens;
  Strings posted;
};

TEST_F(DirectionControlHelperTest, EachPadGroupHoldsOnePressedPadAndTintsIt) {
  makeHelper();
  auto forwardImage = up->image();
  window->touchDown(1, kForward);
  EXPECT_TRUE(up->image()->isTemplate());
  EXPECT_EQ(up->tintColor(), Color::rgb255(0, 82, 217));
  window->touchDown(2, kBack);  // forward still held: the group moves to back
  EXPECT_EQ(takeEvents(), (Strings{"forwardSelect", "forwardRelease", "backSelect"}));
  EXPECT_EQ(up->image(), forwardImage);
  EXPECT_EQ(up->tintColor(), window->tintColor());  // back to the inherited tint
  EXPECT_EQ(helper->pressedLeftPadViewTag(), DirectionControlHelper::TAG_DOWN);
  window->touchUp(1, kForward);  // the forward finger no longer holds anything
  EXPECT_TRUE(takeEvents().empty());

  // The other group is independent: back and right together, then one let go.
  window->touchDown(3, kRight);
  window->touchUp(2, kBack);
  EXPECT_EQ(takeEvents(), (Strings{"rightSelect", "backRelease"}));
  EXPECT_EQ(helper->pressedRightPadViewTag(), DirectionControlHelper::TAG_RIGHT);
  window->touchDown(4, kLeft);
  window->touchCancel(3);  // the right finger is gone already: nothing to release
  window->touchUp(4, kLeft);
  EXPECT_EQ(takeEvents(), (Strings{"rightRelease", "leftSelect", "leftRelease"}));
  EXPECT_EQ(helper->pressedLeftPadViewTag(), 0);
  EXPECT_EQ(helper->pressedRightPadViewTag(), 0);
}

TEST_F(DirectionControlHelperTest, SlidingOffAPadReleasesItOnceAndPressesNothingElse) {
  makeHelper();
  window->touchDown(1, kRight);
  window->touchMove(1, {kRight.x + 30, kRight.y});  // still on the pad
  window->touchMove(1, kLeft);  // off: released at the first move outside
  window->touchMove(1, {kLeft.x + 5, kLeft.y});
  window->touchUp(1, kLeft);  // lifted on the other pad: it was never pressed
  EXPECT_EQ(takeEvents(), (Strings{"rightSelect", "rightRelease"}));
  EXPECT_NE(left->tintColor(), Color::rgb255(0, 82, 217));

  // Touches outside every pad, and in the gap between two pads, do nothing.
  window->tap({200, 100});
  window->tap({295, 685});  // the 6-point gap between left and right
  window->tap({95, 685});
  EXPECT_TRUE(takeEvents().empty());
}

TEST_F(DirectionControlHelperTest, TheStoredModeChoosesWhichInputShows) {
  makeHelper();  // nothing stored: key mode
  EXPECT_TRUE(helper->keyMode());
  EXPECT_FALSE(container->isHidden());
  EXPECT_TRUE(wheel->isHidden());
  EXPECT_EQ(wheel->superview(), area);
  EXPECT_EQ(wheel->frame(), container->frame());

  UserDefaults::standard().set(false, DirectionControlHelper::PREF_KEY_MODE);
  makeHelper();
  EXPECT_FALSE(helper->keyMode());
  EXPECT_TRUE(container->isHidden());
  EXPECT_FALSE(wheel->isHidden());
  EXPECT_EQ(wheel->alpha(), 1.0);

  UserDefaults::standard().set("no", DirectionControlHelper::PREF_KEY_MODE);
  makeHelper();
  EXPECT_TRUE(helper->keyMode());
  // Making helpers logs nothing about modes.
  EXPECT_TRUE(linesWith("LUMOSDK: ").empty());
}

TEST_F(DirectionControlHelperTest, ModeSwitchesAnimateLogTheirStatesAndNotifyOnce) {
  makeHelper();
  helper->setKeyMode(false);
  EXPECT_EQ(linesWith("LUMOSDK: "), (Strings{"LUMOSDK: 设置按键模式: false", "LUMOSDK: 切换到方向盘模式",
                                             "LUMOSDK: 动画前状态 - 右侧容器: hidden=false, alpha=1.0",
                                             "LUMOSDK: 动画前状态 - 方向盘: hidden=false, alpha=0.0"}));
  EXPECT_FALSE(container->isUserInteractionEnabled());
  EXPECT_FALSE(wheel->isUserInteractionEnabled());
  runFor(milliseconds(250));
  EXPECT_GT(wheel->presentationAlpha(), 0.0);
  EXPECT_LT(wheel->presentationAlpha(), 1.0);
  EXPECT_TRUE(posted.empty());
  helper->setKeyMode(false);  // already switching to it: ignored
  runFor(milliseconds(260));
  EXPECT_EQ(posted, (Strings{"SteeringWheelAnimationCompleted"}));
  auto lines = linesWith("LUMOSDK: ");
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[4], "LUMOSDK: 方向盘切换动画完成");
  EXPECT_EQ(lines[5], "LUMOSDK: 动画后状态 - 右侧容器: hidden=true, alpha=0.0");
  EXPECT_EQ(lines[6], "LUMOSDK: 动画后状态 - 方向盘: hidden=false, alpha=1.0");
  EXPECT_TRUE(left->isHidden());
  EXPECT_TRUE(container->isUserInteractionEnabled());
  EXPECT_TRUE(wheel->isUserInteractionEnabled());

  clearRecordedLines();
  helper->setKeyMode(true);
  helper->setKeyMode(true);
  runFor(milliseconds(600));
  EXPECT_EQ(linesWith("LUMOSDK: "),
            (Strings{"LUMOSDK: 设置按键模式: true", "LUMOSDK: 切换到按钮模式",
                     "LUMOSDK: 动画前状态 - 右侧容器: hidden=false, alpha=0.0",
                     "LUMOSDK: 动画前状态 - 方向盘: hidden=false, alpha=1.0", "LUMOSDK: 按钮模式切换动画完成",
                     "LUMOSDK: 动画后状态 - 右侧容器: hidden=false, alpha=1.0",
                     "LUMOSDK: 动画后状态 - 方向盘: hidden=true, alpha=0.0"}));
  EXPECT_EQ(posted, (Strings{"SteeringWheelAnimationCompleted", "ButtonModeAnimationCompleted"}));
  EXPECT_EQ(left->alpha(), 1.0);
  EXPECT_FALSE(right->isHidden());
  EXPECT_TRUE(container->transform().isIdentity());

  // A switch overtaken by the next one finishes nothing of its own.
  posted.clear();
  helper->setKeyMode(false);
  runFor(milliseconds(100));
  helper->setKeyMode(true);
  runFor(milliseconds(1000));
  EXPECT_EQ(posted, (Strings{"ButtonModeAnimationCompleted"}));
  EXPECT_FALSE(container->isHidden());
  EXPECT_TRUE(wheel->isHidden());
}

TEST_F(DirectionControlHelperTest, AModeSwitchLetsGoOfTheInputItHides) {
  makeHelper();
  window->touchDown(1, kForward);
  window->touchDown(2, kRight);
  takeEvents();
  helper->setKeyMode(false);
  // The steering pad is released before the animation; the throttle pad stays held.
  EXPECT_EQ(takeEvents(), (Strings{"rightRelease"}));
  EXPECT_EQ(helper->pressedLeftPadViewTag(), DirectionControlHelper::TAG_UP);
  window->touchMove(2, {kRight.x + 1, kRight.y});
  window->touchUp(2, kRight);
  runFor(milliseconds(600));
  EXPECT_TRUE(takeEvents().empty());

  // The wheel turned to full left, then key mode: recentred and reported at once.
  window->touchDown(3, kWheelLowerLeft);
  EXPECT_EQ(takeEvents(), (Strings{"angle -1.000000"}));
  helper->setKeyMode(true);
  EXPECT_EQ(takeEvents(), (Strings{"angle 0.000000"}));
  window->touchMove(3, {kWheelLowerLeft.x + 60, kWheelLowerLeft.y - 60});
  window->touchUp(3, kWheelLowerLeft);
  runFor(milliseconds(600));
  EXPECT_TRUE(takeEvents().empty());
  window->touchUp(1, kForward);
  EXPECT_EQ(takeEvents(), (Strings{"forwardRelease"}));
}

TEST_F(DirectionControlHelperTest, EverythingHeldIsReleasedWhenThePageLetsGoOrLeaves) {
  UserDefaults::standard().set(false, DirectionControlHelper::PREF_KEY_MODE);
  makeHelper();
  window->touchDown(1, kBack);
  window->touchDown(2, kWheelLowerLeft);
  takeEvents();
  helper->releaseAllInputs();
  EXPECT_EQ(takeEvents(), (Strings{"backRelease", "angle 0.000000"}));
  window->touchUp(1, kBack);
  window->touchUp(2, kWheelLowerLeft);
  helper->releaseAllInputs();  // nothing held: nothing sent
  EXPECT_TRUE(takeEvents().empty());

  // The page's views leaving the window cancel the fingers: the same releases.
  window->touchDown(3, kForward);
  window->touchDown(4, kWheelLowerLeft);
  takeEvents();
  area->removeFromSuperview();
  auto events = takeEvents();
  std::sort(events.begin(), events.end());
  EXPECT_EQ(events, (Strings{"angle 0.000000", "forwardRelease"}));
  EXPECT_EQ(window->activeTouchCount(), 0u);
}

TEST_F(DirectionControlHelperTest, MissingImagesReceiversAndHelpersCauseNoHarm) {
  left->setImage(nullptr);
  makeHelper();
  window->touchDown(1, kLeft);
  EXPECT_EQ(left->image(), nullptr);
  EXPECT_EQ(left->tintColor(), Color::rgb255(0, 82, 217));
  window->touchUp(1, kLeft);
  EXPECT_EQ(left->image(), nullptr);
  EXPECT_EQ(takeEvents(), (Strings{"leftSelect", "leftRelease"}));

  // Without a receiver the pads still tint and track.
  recorder.reset();
  window->touchDown(2, kForward);
  EXPECT_EQ(helper->pressedLeftPadViewTag(), DirectionControlHelper::TAG_UP);
  EXPECT_TRUE(up->image()->isTemplate());
  window->touchUp(2, kForward);
  EXPECT_FALSE(up->image()->isTemplate());

  // Once the helper is gone, the pads and the wheel do nothing.
  recorder = std::make_shared<Recorder>();
  helper->setControlCallback(recorder);
  helper.reset();
  window->tap(kForward);
  wheel->setHidden(false);
  wheel->setAlpha(1);
  window->tap(kWheelLowerLeft);
  EXPECT_EQ(wheel->angle(), 0.0);  // it turned and came back, telling no one
  EXPECT_TRUE(recorder->events.empty());
}

}  // namespace
}  // namespace lumo::test
