#include <SDL.h>
#include <stdlib.h>

#include <fstream>

#include "demo/host/ScreenText.h"
#include "demo/window/WindowHost.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/demo/DemoAppTest.h"
#include "tests/report/RecordingFile.h"
#include "tests/report/SessionStory.h"

namespace lumo::test {
namespace {

// Records the touches a stand-in direction pad receives.
class PadProbe : public platform::ui::View {
 public:
  using View::View;
  void touchesBegan(const platform::ui::TouchSet&) override { events.push_back("began"); }
  void touchesEnded(const platform::ui::TouchSet&) override { events.push_back("ended"); }
  void touchesCancelled(const platform::ui::TouchSet&) override { events.push_back("cancelled"); }
  std::vector<std::string> events;
};

// The window host on SDL's dummy video driver, fed SDL events as the user's desktop would.
class WindowHostTest : public DemoAppTest {
 protected:
  void SetUp() override {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    DemoAppTest::SetUp();
    host = std::make_unique<demo::WindowHost>(&world->vehicle(), 1.0);
    ASSERT_TRUE(host->open());
  }
  void TearDown() override {
    host.reset();
    DemoAppTest::TearDown();
  }

  std::shared_ptr<PadProbe> addPad(int tag, double x) {
    auto pad = std::make_shared<PadProbe>(platform::ui::Rect{x, 700, 60, 60});
    pad->setTag(tag);
    keyWindow()->addSubview(pad);
    return pad;
  }
  void key(SDL_Keycode code, bool down, bool repeat = false) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.keysym.sym = code;
    event.key.repeat = repeat ? 1 : 0;
    SDL_PushEvent(&event);
    host->showFrame();
  }
  void windowEvent(SDL_WindowEventID id) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = static_cast<Uint8>(id);
    SDL_PushEvent(&event);
    host->showFrame();
  }
  void click(double x, double y) {
    for (Uint32 type : {SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
      SDL_Event event{};
      event.type = type;
      event.button.button = SDL_BUTTON_LEFT;
      event.button.x = static_cast<int>(x);
      event.button.y = static_cast<int>(y);
      SDL_PushEvent(&event);
    }
    host->showFrame();
  }

  std::unique_ptr<demo::WindowHost> host;
};

TEST_F(WindowHostTest, ArrowKeysPressThePadsAndNothingStaysPressedWithoutFocus) {
  auto forward = addPad(1001, 20);
  auto right = addPad(1004, 300);
  key(SDLK_UP, true);
  key(SDLK_UP, true, /*repeat=*/true);
  key(SDLK_RIGHT, true);
  EXPECT_EQ(forward->events, (std::vector<std::string>{"began"}));
  EXPECT_EQ(right->events, (std::vector<std::string>{"began"}));
  key(SDLK_UP, false);
  EXPECT_EQ(forward->events, (std::vector<std::string>{"began", "ended"}));

  // The release of a key held while the focus leaves never arrives: it is let go now.
  windowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
  EXPECT_EQ(right->events, (std::vector<std::string>{"began", "ended"}));
  key(SDLK_RIGHT, false);
  EXPECT_EQ(right->events.size(), 2u);
  EXPECT_EQ(keyWindow()->activeTouchCount(), 0u);

  // A pad removed while its key is held is let go as well.
  key(SDLK_UP, true);
  forward->removeFromSuperview();
  key(SDLK_UP, false);
  EXPECT_EQ(forward->events.back(), "cancelled");
  EXPECT_EQ(keyWindow()->activeTouchCount(), 0u);

  // A pad in a hidden container (the side pads in wheel mode) is not on screen.
  auto container = platform::ui::View::make(keyWindow()->bounds());
  keyWindow()->addSubview(container);
  auto left = std::make_shared<PadProbe>(platform::ui::Rect{200, 700, 60, 60});
  left->setTag(1003);
  container->addSubview(left);
  container->setHidden(true);
  key(SDLK_LEFT, true);
  EXPECT_EQ(keyWindow()->activeTouchCount(), 0u);
  key(SDLK_LEFT, false);
  EXPECT_TRUE(left->events.empty());
}

TEST_F(WindowHostTest, TheMouseTapsThePhoneAndThePanelAndMinimisingBackgroundsTheApp) {
  auto newWindow = demo::ScreenText::find(*keyWindow(), "新建窗口").back();
  auto at = newWindow->convertRectTo(newWindow->bounds(), nullptr).center();
  click(at.x, at.y);
  EXPECT_EQ(platform::ui::Application::shared().connectedScenes().size(), 2u);

  // The panel sits right of the 390-point phone.
  world->vehicle().grantControl();
  auto takeOver = host->panel()->button("远程接管")->frame().center();
  click(390 + takeOver.x, takeOver.y);
  EXPECT_FALSE(world->vehicle().hasControlGranted());
  EXPECT_EQ(world->vehicle().driveMode(), sim::VehicleSimulator::remoteTakeover);

  windowEvent(SDL_WINDOWEVENT_MINIMIZED);
  EXPECT_EQ(platform::ui::Application::shared().applicationState(), platform::ui::Application::State::background);
  windowEvent(SDL_WINDOWEVENT_RESTORED);
  EXPECT_EQ(platform::ui::Application::shared().applicationState(), platform::ui::Application::State::active);
}

TEST_F(WindowHostTest, TheRecordingsReplaceTheWorldPanelAndGoBack) {
  auto recording = report::test::RecordingFile::write(report::test::SessionStory::typical().trace);
  auto file = sandboxDir() / "session.mcap";
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(recording.bytes.data()), static_cast<std::streamsize>(recording.bytes.size()));
  host.reset();
  host = std::make_unique<demo::WindowHost>(&world->vehicle(), 1.0, demo::WindowHost::GamepadButton::leftShoulder,
                                            [file] {
                                              lumo::LumoSessionRecording listed;
                                              listed.filePath = file.string();
                                              return std::vector<lumo::LumoSessionRecording>{listed};
                                            });
  ASSERT_TRUE(host->open());
  host->showFrame();

  world->vehicle().grantControl();
  auto takeOver = host->panel()->button("远程接管")->frame().center();
  auto recordings = host->panel()->button("会话记录")->frame().center();
  click(390 + recordings.x, recordings.y);
  ASSERT_TRUE(host->recordings()->chosen());
  EXPECT_EQ(host->recordings()->chosen()->control.size(), report::test::SessionStory::typical().trace.control.size());
  // The world's buttons are not under the mouse now.
  click(390 + takeOver.x, takeOver.y);
  EXPECT_TRUE(world->vehicle().hasControlGranted());

  click(390 + demo::RecordingsPanel::kWidth - 100, 27);  // 返回模拟世界
  click(390 + takeOver.x, takeOver.y);
  EXPECT_FALSE(world->vehicle().hasControlGranted());
}

}  // namespace
}  // namespace lumo::test
