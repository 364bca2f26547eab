#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "demo/host/WorldPanel.h"
#include "platform/render/sdl/SdlHost.h"

namespace sim {
class VehicleSimulator;
}

namespace demo {

// The demo's window: the phone's key window at its true aspect beside the world panel. The
// mouse is a finger, typing goes to the focused field, and the arrow keys press and release
// the control page's direction pads through the same touch path a finger takes.
class WindowHost {
 public:
  WindowHost(sim::VehicleSimulator* vehicle, double scale);
  bool open();
  // Until the window is closed (real time).
  void run();
  // One frame now: events, panel, drawing (tours call it after each step).
  void showFrame();
  // Grabs the phone area from the X server, writes it to `grabbed` and compares it with the
  // screenshot at `reference`; a description of the difference, or empty when they agree.
  std::string compareWithGrab(const std::filesystem::path& reference, const std::filesystem::path& grabbed);

 private:
  void key(platform::render::sdl::SdlHost::Key key, bool down);
  void switchWindow();

  std::unique_ptr<WorldPanel> panel_;
  platform::render::sdl::SdlHost host_;
  // Arrow keys held down: the window and the finger pressing the pad.
  struct HeldPad {
    std::weak_ptr<platform::ui::Window> window;
    int finger;
  };
  std::map<platform::render::sdl::SdlHost::Key, HeldPad> held_;
};

}  // namespace demo
