#include "demo/window/WindowHost.h"

#include <cstdio>
#include <cstdlib>

#include "demo/host/ScreenText.h"
#include "demo/host/TourPlayer.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/render/Bitmap.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace demo {

using platform::render::Bitmap;
using platform::render::sdl::SdlHost;
using platform::ui::Application;
using GamepadEvent = SdlHost::GamepadEvent;

namespace {

int padTagOf(GamepadMapper::Pad pad) {
  switch (pad) {
    case GamepadMapper::Pad::forward: return TourPlayer::padTag("up");
    case GamepadMapper::Pad::back: return TourPlayer::padTag("down");
    case GamepadMapper::Pad::left: return TourPlayer::padTag("left");
    case GamepadMapper::Pad::right: return TourPlayer::padTag("right");
  }
  return 0;
}

std::string buttonLabel(SdlHost::GamepadButton button) {
  return button == SdlHost::GamepadButton::rightShoulder ? "RB" : "LB";
}

const char* padName(SdlHost::Key key) {
  switch (key) {
    case SdlHost::Key::up: return "up";
    case SdlHost::Key::down: return "down";
    case SdlHost::Key::left: return "left";
    case SdlHost::Key::right: return "right";
  }
  return "";
}

// Pixels may differ by a rounding step per channel; beyond that they count as different.
bool samePixel(std::uint32_t a, std::uint32_t b) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff)) > 8) return false;
  }
  return true;
}

}  // namespace

WindowHost::WindowHost(sim::VehicleSimulator* vehicle, double scale, GamepadButton deadMan,
                       RecordingsPanel::Listing recordings)
    : panel_(vehicle ? std::make_unique<WorldPanel>(*vehicle, [this] { switchWindow(); },
                                                    recordings ? std::function<void()>([this] { showRecordings(); })
                                                               : std::function<void()>())
                     : nullptr),
      recordings_(recordings ? std::make_unique<RecordingsPanel>(std::move(recordings), [this] { showWorld(); })
                             : nullptr),
      host_(Application::shared().keyWindow(), scale),
      mapper_([this](const GamepadMapper::Action& action) { gamepadAction(action); }, deadMan) {
  host_.setWindowSource([] { return Application::shared().keyWindow(); });
  if (panel_) host_.setSidePanel(panel_->window());
  host_.setKeyHandler([this](SdlHost::Key key, bool down) { this->key(key, down); });
  host_.setGamepadHandler([this](const GamepadEvent& event) { gamepadEvent(event); });
  host_.setFrameHandler([this] { everyFrame(); });
  // A minimised window is an app in the background: the SDK ends a running session then.
  host_.setVisibilityHandler([](bool shown) {
    auto& application = Application::shared();
    if (shown) {
      application.simulateWillEnterForeground();
      application.simulateDidBecomeActive();
    } else {
      application.simulateWillResignActive();
      application.simulateDidEnterBackground();
    }
  });
}

bool WindowHost::open() {
  if (host_.open("lumodemo")) return true;
  std::fprintf(stderr, "lumodemo: cannot open the window (see the line above)\n");
  return false;
}

void WindowHost::run() { host_.run(); }

std::shared_ptr<platform::ui::Window> WindowHost::showRecordings() {
  if (!recordings_) return nullptr;
  recordings_->reload();
  host_.setSidePanel(recordings_->window());
  return recordings_->window();
}

void WindowHost::showWorld() {
  if (panel_) host_.setSidePanel(panel_->window());
}

void WindowHost::showFrame() {
  host_.pumpEvents();
  everyFrame();
  host_.present();
}

void WindowHost::everyFrame() {
  followPageMode();
  if (!panel_) return;
  WorldPanel::Gamepad shown;
  if (auto name = gamepadName()) shown.name = *name;
  shown.deadManButton = buttonLabel(mapper_.deadManButton());
  shown.deadManHeld = mapper_.deadManHeld();
  panel_->showGamepad(shown);
  panel_->update();
}

void WindowHost::key(SdlHost::Key key, bool down) {
  // Each key is its own finger, so forward and a turn can be held together.
  int tag = TourPlayer::padTag(padName(key));
  if (down) {
    keyFingers_.press(tag);
  } else {
    keyFingers_.release(tag);
  }
}

std::optional<std::string> WindowHost::gamepadName() const {
  if (!driving_) return std::nullopt;
  auto found = controllers_.find(*driving_);
  if (found == controllers_.end()) return std::nullopt;
  return found->second;
}

void WindowHost::gamepadEvent(const GamepadEvent& event) {
  switch (event.kind) {
    case GamepadEvent::Kind::connected:
      controllers_[event.controller] = event.name;
      std::printf("lumodemo: game controller \"%s\" connected\n", event.name.c_str());
      if (!driving_) driveWith(event.controller);
      return;
    case GamepadEvent::Kind::disconnected: {
      auto found = controllers_.find(event.controller);
      if (found == controllers_.end()) return;
      std::printf("lumodemo: game controller \"%s\" disconnected\n", found->second.c_str());
      controllers_.erase(found);
      if (driving_ != event.controller) return;
      std::optional<int> next;
      if (!controllers_.empty()) next = controllers_.begin()->first;
      driveWith(next);
      return;
    }
    case GamepadEvent::Kind::button:
      if (driving_ != event.controller) return;
      followPageMode();
      mapper_.button(event.button, event.down);
      return;
    case GamepadEvent::Kind::axis:
      if (driving_ != event.controller) return;
      followPageMode();
      mapper_.axis(event.axis, event.value);
      return;
  }
}

void WindowHost::driveWith(std::optional<int> controller) {
  // The old controller's fingers lift; the new one starts from what it holds now, all but
  // its dead-man button, which has to be pressed afresh.
  mapper_.reset();
  driving_ = controller;
  if (!controller) return;
  for (auto axis : {GamepadMapper::Axis::leftX, GamepadMapper::Axis::leftY}) {
    mapper_.axis(axis, host_.gamepadAxis(*controller, axis));
  }
  for (auto button : {GamepadButton::dpadUp, GamepadButton::dpadDown, GamepadButton::dpadLeft,
                      GamepadButton::dpadRight}) {
    if (host_.isGamepadButtonDown(*controller, button)) mapper_.button(button, true);
  }
}

void WindowHost::followPageMode() {
  auto window = Application::shared().keyWindow();
  mapper_.setWheelMode(window && ScreenText::findByType(*window, "SteeringWheel") != nullptr);
}

void WindowHost::gamepadAction(const GamepadMapper::Action& action) {
  using Kind = GamepadMapper::Action::Kind;
  switch (action.kind) {
    case Kind::press: gamepadFingers_.press(padTagOf(action.pad)); break;
    case Kind::release: gamepadFingers_.release(padTagOf(action.pad)); break;
    case Kind::turnWheel: gamepadFingers_.turnWheel(action.angle); break;
    case Kind::letGoOfWheel: gamepadFingers_.letGoOfWheel(); break;
    case Kind::exit: gamepadFingers_.tap("退出"); break;
  }
}

void WindowHost::switchWindow() {
  auto windows = Application::shared().windows();
  if (windows.size() < 2) return;
  auto key = Application::shared().keyWindow();
  std::size_t next = 0;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    if (windows[i] == key) next = (i + 1) % windows.size();
  }
  windows[next]->makeKey();
}

std::string WindowHost::compareWithGrab(const std::filesystem::path& reference, const std::filesystem::path& grabbed,
                                        Area which) {
  showFrame();
  Bitmap whole = host_.grabFromServer();
  if (whole.isEmpty()) return "cannot grab the window from the X server (is SDL running on X11?)";
  // The whole window too (phone and panel), for people reading the results.
  auto canvas = grabbed;
  whole.writePng(canvas.replace_extension().replace_extension(".canvas.png"));
  auto area = which == Area::phone ? host_.windowArea() : host_.panelArea();
  int x0 = static_cast<int>(area.minX()), y0 = static_cast<int>(area.minY());
  int width = static_cast<int>(area.width()), height = static_cast<int>(area.height());
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels[static_cast<std::size_t>(y) * width + x] =
          whole.pixels()[static_cast<std::size_t>(y + y0) * whole.width() + (x + x0)];
    }
  }
  Bitmap phone(width, height, std::move(pixels));
  phone.writePng(grabbed);
  Bitmap expected = Bitmap::readPng(reference);
  if (expected.isEmpty()) return "cannot read the headless screenshot " + reference.string();
  if (expected.width() != width || expected.height() != height) {
    return "the window shows " + std::to_string(width) + "x" + std::to_string(height) + ", the screenshot " +
           reference.string() + " is " + std::to_string(expected.width()) + "x" + std::to_string(expected.height());
  }
  std::size_t different = 0;
  for (std::size_t i = 0; i < phone.pixels().size(); ++i) {
    if (!samePixel(phone.pixels()[i], expected.pixels()[i])) ++different;
  }
  // A blinking caret or a spinner may differ in a few pixels; a wrong frame differs widely.
  if (different * 1000 > phone.pixels().size()) {
    return std::to_string(different) + " of " + std::to_string(phone.pixels().size()) + " pixels of " +
           grabbed.string() + " differ from " + reference.string();
  }
  return "";
}

}  // namespace demo
