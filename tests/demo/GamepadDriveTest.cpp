// A session driven with a game controller: SDL's virtual joystick plugged into the demo
// window, which drives the control page against the vehicle simulator, in virtual time.

#include <SDL.h>
#include <stdlib.h>

#include <cmath>
#include <numbers>

#include "demo/host/ScreenText.h"
#include "demo/window/WindowHost.h"
#include "lumosdk/widgets/SteeringWheel.h"
#include "platform/render/Renderer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/demo/DemoAppTest.h"
#include "tests/support/Screenshots.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;

class GamepadDriveTest : public DemoAppTest {
 protected:
  void SetUp() override {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    // The dummy video driver never gives its window the keyboard focus, and without it SDL
    // passes on no controller presses.
    ::setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
    DemoAppTest::SetUp();
    host = std::make_unique<demo::WindowHost>(&world->vehicle(), 1.0);
    ASSERT_TRUE(host->open());
  }
  void TearDown() override {
    if (joystick) unplug();
    host.reset();
    DemoAppTest::TearDown();
    ::unsetenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS");
  }

  void plugIn() {
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                          SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    joystick = SDL_JoystickOpen(index);
    ASSERT_TRUE(joystick) << SDL_GetError();
    host->showFrame();
  }
  void unplug() {
    for (int index = 0; index < SDL_NumJoysticks(); ++index) {
      if (SDL_JoystickGetDeviceInstanceID(index) == SDL_JoystickInstanceID(joystick)) {
        SDL_JoystickDetachVirtual(index);
      }
    }
    SDL_JoystickClose(joystick);
    joystick = nullptr;
    host->showFrame();
  }
  // The virtual controller's buttons and axes are numbered in SDL's standard layout.
  void button(SDL_GameControllerButton which, bool down) {
    SDL_JoystickSetVirtualButton(joystick, which, down ? 1 : 0);
    host->showFrame();
  }
  void stick(double x, double y) {
    SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, static_cast<Sint16>(x * 32767));
    SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTY, static_cast<Sint16>(y * 32767));
    host->showFrame();
  }
  void deadMan(bool down) { button(SDL_CONTROLLER_BUTTON_LEFTSHOULDER, down); }

  void openControlPage() {
    ASSERT_TRUE(tap("初始化SDK"));
    ASSERT_TRUE(runUntil([&] { return shows("SDK初始化成功"); }));
    ASSERT_TRUE(tap("确定"));
    settle();
    ASSERT_TRUE(tap("打开控制页面"));
    // Control is granted before anything is pressed.
    ASSERT_TRUE(runUntil([&] { return world->vehicle().hasControlGranted(); }));
    settle();
  }
  // Time passes as in the window: a frame (events, then the panel) every 100 ms.
  void runFrames(platform::dispatch::Seconds duration) {
    for (platform::dispatch::Seconds left = duration; left > 0s; left -= 100ms) {
      runFor(std::min<platform::dispatch::Seconds>(left, 100ms));
      host->showFrame();
    }
  }
  double speed() const { return world->vehicle().model().speed(); }
  int throttle() const {
    const auto& frame = world->vehicle().lastControlFrame();
    return frame ? frame->throttle : 0;
  }
  std::string panelText() const { return host->panel()->statusText(); }

  // The window as the SDL host lays it out: the phone centred beside the panel.
  platform::render::Bitmap windowPicture() {
    auto phone = platform::render::Renderer().render(*keyWindow());
    auto panel = platform::render::Renderer().render(*host->panel()->window());
    int width = phone.width() + panel.width(), height = std::max(phone.height(), panel.height());
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0xff1c1f26);
    auto copy = [&](const platform::render::Bitmap& part, int x0, int y0) {
      for (int y = 0; y < part.height(); ++y) {
        for (int x = 0; x < part.width(); ++x) {
          pixels[static_cast<std::size_t>(y + y0) * width + x + x0] =
              part.pixels()[static_cast<std::size_t>(y) * part.width() + x];
        }
      }
    };
    copy(phone, 0, (height - phone.height()) / 2);
    copy(panel, phone.width(), 0);
    return {width, height, std::move(pixels)};
  }

  std::unique_ptr<demo::WindowHost> host;
  SDL_Joystick* joystick = nullptr;
};

TEST_F(GamepadDriveTest, TheVehicleMovesOnlyWhileTheDeadManIsHeldAndTheStickPushed) {
  EXPECT_NE(panelText().find("手柄 未连接"), std::string::npos) << panelText();
  plugIn();
  EXPECT_EQ(host->gamepadName(), "Virtual Controller");
  EXPECT_NE(panelText().find("安全键 LB 松开"), std::string::npos) << panelText();
  openControlPage();

  // The stick alone moves nothing.
  stick(0, -1);
  runFrames(1500ms);
  EXPECT_EQ(speed(), 0);
  EXPECT_EQ(throttle(), 0);
  // Nor does the dead-man button gripped while the stick is already pushed.
  deadMan(true);
  EXPECT_NE(panelText().find("安全键 LB 按住"), std::string::npos) << panelText();
  runFrames(1500ms);
  EXPECT_EQ(speed(), 0);
  // Back to the centre and pushed again, it drives.
  stick(0, 0);
  stick(0.8, -1);
  runFrames(1500ms);
  EXPECT_GT(speed(), 0.3);
  EXPECT_GT(throttle(), 0);
  EXPECT_GT(world->vehicle().lastControlFrame()->steering, 0);
  EXPECT_EQ(panelText().find("速度 0.00"), std::string::npos) << panelText();
  keepScreenshot(windowPicture(), sandboxDir(), "gamepad");

  // Letting go of the dead-man button stops it, the stick still pushed; the next frame
  // already carries no throttle.
  deadMan(false);
  runFrames(200ms);
  EXPECT_EQ(throttle(), 0);
  runFrames(2s);
  EXPECT_EQ(speed(), 0);
  EXPECT_EQ(keyWindow()->activeTouchCount(), 0u);

  // Gripped again with the stick still pushed: nothing until it has been centred.
  deadMan(true);
  runFrames(1s);
  EXPECT_EQ(speed(), 0);
  stick(0, 0);
  stick(0, -1);
  runFrames(1500ms);
  EXPECT_GT(speed(), 0.3);
  // Letting the stick go stops it as well.
  stick(0, 0);
  runFrames(2s);
  EXPECT_EQ(speed(), 0);

  // Unplugged mid-drive: everything it held is let go, even when SDL reports the removal
  // without letting go of its buttons and sticks first.
  stick(0, -1);
  runFrames(1500ms);
  ASSERT_GT(speed(), 0.3);
  SDL_Event removed{};
  removed.type = SDL_CONTROLLERDEVICEREMOVED;
  removed.cdevice.which = SDL_JoystickInstanceID(joystick);
  SDL_PushEvent(&removed);
  host->showFrame();
  EXPECT_FALSE(host->gamepadName());
  EXPECT_NE(panelText().find("手柄 未连接"), std::string::npos) << panelText();
  runFrames(200ms);
  EXPECT_EQ(throttle(), 0);
  runFrames(2s);
  EXPECT_EQ(speed(), 0);
  EXPECT_EQ(keyWindow()->activeTouchCount(), 0u);

  // Plugged in again it takes a fresh grip before it drives.
  unplug();
  plugIn();
  stick(0, -1);
  runFrames(1s);
  EXPECT_EQ(speed(), 0);
  stick(0, 0);
  deadMan(true);
  stick(0, -1);
  runFrames(1500ms);
  EXPECT_GT(speed(), 0.3);
}

TEST_F(GamepadDriveTest, InWheelModeTheStickTurnsTheWheelAndBLeavesThePage) {
  plugIn();
  openControlPage();
  // The key-mode switch (the first of the top bar) swaps the side pads for the wheel.
  auto keyMode = demo::ScreenText::findByType(*keyWindow(), "CustomSwitch");
  ASSERT_TRUE(keyMode);
  keyWindow()->tap(keyMode->convertRectTo(keyMode->bounds(), nullptr).center());
  settle();
  auto wheel = std::dynamic_pointer_cast<SteeringWheel>(demo::ScreenText::findByType(*keyWindow(), "SteeringWheel"));
  ASSERT_TRUE(wheel);

  deadMan(true);
  // Past the centre the stick's travel spreads over the whole turn: 0.6 is half way.
  stick(0.6, 0);
  EXPECT_NEAR(wheel->angle(), std::numbers::pi / 4, 1e-9);
  stick(-1, -1);
  EXPECT_EQ(wheel->angle(), -std::numbers::pi / 2) << "full lock, exactly";
  runFrames(1500ms);
  EXPECT_GT(speed(), 0.3);
  EXPECT_EQ(world->vehicle().lastControlFrame()->steering, -100);
  stick(1, -1);
  EXPECT_EQ(wheel->angle(), std::numbers::pi / 2);
  // The wheel springs back when the dead-man button is let go.
  deadMan(false);
  EXPECT_EQ(wheel->angle(), 0);
  runFrames(2s);
  EXPECT_EQ(speed(), 0);

  // Losing the window's focus lets go as well: the release might never reach the window.
  stick(0, 0);
  deadMan(true);
  stick(0, -1);
  runFrames(1500ms);
  ASSERT_GT(speed(), 0.3);
  SDL_Event focusLost{};
  focusLost.type = SDL_WINDOWEVENT;
  focusLost.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
  SDL_PushEvent(&focusLost);
  host->showFrame();
  EXPECT_FALSE(host->gamepad().deadManHeld());
  runFrames(2s);
  EXPECT_EQ(speed(), 0);
  deadMan(false);

  // B taps 退出, but only with the dead-man button held.
  stick(0, 0);
  button(SDL_CONTROLLER_BUTTON_B, true);
  button(SDL_CONTROLLER_BUTTON_B, false);
  settle();
  EXPECT_TRUE(shows("退出"));
  deadMan(true);
  button(SDL_CONTROLLER_BUTTON_B, true);
  button(SDL_CONTROLLER_BUTTON_B, false);
  runFrames(3s);
  EXPECT_FALSE(shows("退出"));
  EXPECT_TRUE(shows("初始化成功"));
}

}  // namespace
}  // namespace lumo::test
