#include "demo/host/TourPlayer.h"
#include "demo/host/WorldPanel.h"
#include "platform/ble/Radio.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/render/Bitmap.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "tests/demo/DemoAppTest.h"

namespace lumo::test {
namespace {

using demo::TourPlayer;
using demo::TourScript;

// Records the touches a stand-in direction pad receives.
class PadProbe : public platform::ui::View {
 public:
  using View::View;
  void touchesBegan(const platform::ui::TouchSet&) override { events.push_back("began"); }
  void touchesEnded(const platform::ui::TouchSet&) override { events.push_back("ended"); }
  void touchesCancelled(const platform::ui::TouchSet&) override { events.push_back("cancelled"); }
  std::vector<std::string> events;
};

class TourPlayerTest : public DemoAppTest {
 protected:
  TourPlayer::Outcome play(const std::string& text) {
    auto parsed = TourScript::parse(text, "t.tour");
    EXPECT_TRUE(parsed.script) << parsed.error;
    TourPlayer player(&world->vehicle(), sandboxDir() / "shots");
    return player.play(parsed.script.value_or(TourScript{}), "t.tour");
  }
};

TEST_F(TourPlayerTest, PlaysTheFormAndStopsAtTheFirstFailureWithItsLine) {
  auto passed = play("tap 初始化SDK\nwait 1\nexpect SDK初始化成功\nscreenshot alert\ntap 确定\nwait 0.5\n"
                     "expect-not SDK初始化成功\n");
  EXPECT_EQ(passed.status, TourPlayer::kPassed) << passed.message;
  ASSERT_EQ(passed.screenshots.size(), 1u);
  auto shot = platform::render::Bitmap::readPng(passed.screenshots[0]);
  EXPECT_EQ(shot.width(), 390);
  EXPECT_EQ(shot.height(), 844);

  auto expectation = play("expect 初始化失败\ntap 新建窗口\n");
  EXPECT_EQ(expectation.status, TourPlayer::kExpectationFailed);
  EXPECT_EQ(expectation.message.rfind("t.tour:1: expected \"初始化失败\" on screen; it shows \"SDK参数\"", 0), 0u)
      << expectation.message;
  EXPECT_EQ(platform::ui::Application::shared().connectedScenes().size(), 1u) << "played past the failure";

  auto missing = play("wait 0.1\ntap 不存在的按钮\n");
  EXPECT_EQ(missing.status, TourPlayer::kBadTour);
  EXPECT_EQ(missing.message.rfind("t.tour:2: no view shows \"不存在的按钮\"", 0), 0u) << missing.message;

  // The vehicle stands still until someone drives it.
  EXPECT_EQ(play("expect-speed 0 0\n").status, TourPlayer::kPassed);
  auto moving = play("expect-speed 0.5 3\n");
  EXPECT_EQ(moving.status, TourPlayer::kExpectationFailed);
  EXPECT_EQ(moving.message, "t.tour:1: expected the vehicle's speed within 0.50..3.00 m/s; it is 0.00 m/s");

  auto typing = play("type abc\n");
  EXPECT_EQ(typing.status, TourPlayer::kBadTour);
  EXPECT_EQ(typing.message, "t.tour:1: no text field has the focus (tap one first)");

  auto edit = play("tap " + std::string(sim::BackendSimulator::kDemoVin) + "\nclear\ntype ABCD12345\nexpect ABCD12345\n");
  EXPECT_EQ(edit.status, TourPlayer::kPassed) << edit.message;
  EXPECT_EQ(form()->state().vin, "ABCD12345");
}

TEST_F(TourPlayerTest, HeldPadsAreLetGoWhenTheTourEndsOrStops) {
  auto pad = std::make_shared<PadProbe>(platform::ui::Rect{20, 700, 60, 60});
  pad->setTag(1001);
  keyWindow()->addSubview(pad);

  auto released = play("hold up\nwait 0.3\nrelease up\n");
  EXPECT_EQ(released.status, TourPlayer::kPassed) << released.message;
  EXPECT_EQ(pad->events, (std::vector<std::string>{"began", "ended"}));
  pad->events.clear();
  EXPECT_EQ(play("tap-at 50 730\n").status, TourPlayer::kPassed);
  EXPECT_EQ(pad->events, (std::vector<std::string>{"began", "ended"}));
  EXPECT_EQ(play("tap-at 50 900\n").message, "t.tour:1: the point lies outside the screen");

  pad->events.clear();
  auto stopped = play("hold up\nexpect 不在屏幕上\n");
  EXPECT_EQ(stopped.status, TourPlayer::kExpectationFailed);
  EXPECT_EQ(pad->events, (std::vector<std::string>{"began", "cancelled"}));
  EXPECT_EQ(keyWindow()->activeTouchCount(), 0u);

  auto absent = play("hold left\n");
  EXPECT_EQ(absent.status, TourPlayer::kBadTour);
  EXPECT_EQ(absent.message, "t.tour:1: the left pad (tag 1003) is not on screen");
  EXPECT_EQ(play("release up\n").message, "t.tour:1: the up is not held");
  EXPECT_EQ(play("drag-wheel 30\n").message, "t.tour:1: no steering wheel is on screen");
}

TEST_F(TourPlayerTest, ThePanelShowsTheVehicleAndItsButtonsActOnIt) {
  demo::WorldPanel panel(world->vehicle(), nullptr);
  auto& vehicle = world->vehicle();
  vehicle.grantControl();
  panel.update();
  EXPECT_NE(panel.statusText().find("控制权 手机"), std::string::npos) << panel.statusText();
  EXPECT_NE(panel.statusText().find("蓝牙 未连接"), std::string::npos) << panel.statusText();

  auto press = [&](const std::string& title) {
    auto button = panel.button(title);
    ASSERT_TRUE(button) << title;
    panel.window()->tap(button->frame().center());
    panel.update();
  };
  press("远程接管");
  EXPECT_FALSE(vehicle.hasControlGranted());
  EXPECT_NE(panel.statusText().find("模式 远程遥控 (5)"), std::string::npos) << panel.statusText();
  press("安全接管");
  EXPECT_EQ(vehicle.driveMode(), sim::VehicleSimulator::safetyTakeover);
  press("解除接管");
  EXPECT_NE(vehicle.driveMode(), sim::VehicleSimulator::safetyTakeover);
  press("车门开/关");
  EXPECT_TRUE(vehicle.model().doorOpen());
  EXPECT_NE(panel.statusText().find("车门 打开"), std::string::npos);
  press("延迟 700 ms");
  EXPECT_TRUE(panel.button("取消延迟"));
  press("取消延迟");
  EXPECT_TRUE(panel.button("延迟 700 ms"));
  // A vehicle at rest leaves one trail point, not one per frame.
  EXPECT_EQ(panel.trail().size(), 1u);
}

TEST_F(TourPlayerTest, TheRecordingsCommandDrawsWhatTheHostShowsOrFailsWithoutASession) {
  EXPECT_EQ(play("recordings report\n").status, TourPlayer::kBadTour);
  EXPECT_FALSE(TourScript::parse("recordings\n", "t.tour").script);
  EXPECT_FALSE(TourScript::parse("recordings ../x\n", "t.tour").script);
  EXPECT_FALSE(TourScript::parse("recordings x 0\n", "t.tour").script);
  EXPECT_FALSE(TourScript::parse("recordings x 1.5\n", "t.tour").script);

  std::shared_ptr<platform::ui::Window> shown;
  std::vector<std::size_t> asked;
  TourPlayer::Hooks hooks;
  hooks.showRecordings = [&](std::size_t index) {
    asked.push_back(index);
    return shown;
  };
  TourPlayer player(&world->vehicle(), sandboxDir() / "shots", hooks);
  auto script = TourScript::parse("recordings report\n", "t.tour").script.value();
  auto nothing = player.play(script, "t.tour");
  EXPECT_EQ(nothing.status, TourPlayer::kExpectationFailed);
  EXPECT_EQ(nothing.message, "t.tour:1: no session was recorded");

  shown = platform::ui::Window::make({0, 0, 300, 200});
  shown->setHidden(false);
  auto drawn = player.play(script, "t.tour");
  EXPECT_EQ(drawn.status, TourPlayer::kPassed) << drawn.message;
  ASSERT_EQ(drawn.screenshots.size(), 1u);
  EXPECT_EQ(platform::render::Bitmap::readPng(drawn.screenshots[0]).width(), 300);
  auto second = player.play(TourScript::parse("recordings older 2\n", "t.tour").script.value(), "t.tour");
  EXPECT_EQ(second.status, TourPlayer::kPassed) << second.message;
  EXPECT_EQ(asked, (std::vector<std::size_t>{0, 0, 1}));
}

}  // namespace
}  // namespace lumo::test
