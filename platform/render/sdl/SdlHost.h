#pragma once

#include <memory>
#include <string>

namespace platform::ui {
class Window;
}

namespace platform::render::sdl {

// Shows a window of the view tree in an SDL2 window: every display frame (60 per second of
// main-loop time) it draws the tree and shows it; the mouse becomes finger 0 (button down,
// drag, up), typed text goes to the focused text field and Backspace deletes. Closing the
// SDL window stops the main loop. Runs headless with SDL_VIDEODRIVER=dummy.
class SdlHost {
 public:
  // `scale`: pixels per point of the SDL window.
  explicit SdlHost(std::shared_ptr<ui::Window> window, double scale = 1.0);
  ~SdlHost();
  SdlHost(const SdlHost&) = delete;
  SdlHost& operator=(const SdlHost&) = delete;

  // Opens the SDL window and makes the main loop wait on SDL events as well as on its own
  // work. False (with a console line) when SDL cannot start.
  bool open(const std::string& title);
  // Handles the pending SDL events; false once the user closed the window.
  bool pumpEvents();
  // Draws the tree and shows it (the SDL window follows the tree window's size).
  void present();
  // Pumps and presents every display frame until the window is closed, then returns.
  void run();
  std::uint64_t framesShown() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform::render::sdl
