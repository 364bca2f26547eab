#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/render/Bitmap.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {
class Window;
}

namespace platform::render::sdl {

// Shows a window of the view tree in an SDL2 window: every display frame (60 per second of
// main-loop time) it draws the tree and shows it; the mouse becomes finger 0 (button down,
// drag, up), typed text goes to the focused text field and Backspace deletes. An optional
// side panel (another view-tree window) is drawn to the right and takes the mouse there.
// Game controllers are opened as they are plugged in (at start or later) and reported in
// SDL's standard layout. Closing the SDL window stops the main loop. Runs headless with
// SDL_VIDEODRIVER=dummy.
class SdlHost {
 public:
  enum class Key { up, down, left, right };
  // A key other than text editing went down or up (repeats are not reported). When the SDL
  // window loses the focus every key still down is reported up: its release would never come.
  using KeyHandler = std::function<void(Key key, bool down)>;

  // A game controller in SDL's standard layout (an Xbox-style pad: south is A, east is B).
  enum class GamepadButton {
    south, east, west, north, back, guide, start, leftStick, rightStick,
    leftShoulder, rightShoulder, dpadUp, dpadDown, dpadLeft, dpadRight
  };
  enum class GamepadAxis { leftX, leftY, rightX, rightY, leftTrigger, rightTrigger };
  struct GamepadEvent {
    enum class Kind { connected, disconnected, button, axis };
    Kind kind = Kind::connected;
    // Names one controller from its connection to its removal.
    int controller = 0;
    std::string name;  // connected: the controller's name, printable ASCII
    GamepadButton button = GamepadButton::south;
    bool down = false;
    GamepadAxis axis = GamepadAxis::leftX;
    double value = 0;  // sticks -1..1 (y grows downward), triggers 0..1
  };
  // As with keys, losing the focus reports every held button up; SDL then passes no presses
  // and no moves away from the centre until the focus returns. Axes keep their last value.
  using GamepadHandler = std::function<void(const GamepadEvent& event)>;

  // `scale`: pixels per point of the SDL window.
  explicit SdlHost(std::shared_ptr<ui::Window> window, double scale = 1.0);
  ~SdlHost();
  SdlHost(const SdlHost&) = delete;
  SdlHost& operator=(const SdlHost&) = delete;

  // The window to show is asked for at every frame (a host may switch between windows).
  void setWindowSource(std::function<std::shared_ptr<ui::Window>()> source);
  void setSidePanel(std::shared_ptr<ui::Window> panel);
  void setKeyHandler(KeyHandler handler);
  void setGamepadHandler(GamepadHandler handler);
  // What a connected controller last reported (0 and up for one not connected).
  double gamepadAxis(int controller, GamepadAxis axis) const;
  bool isGamepadButtonDown(int controller, GamepadButton button) const;
  // Runs at every display frame before drawing.
  void setFrameHandler(std::function<void()> handler);
  // The SDL window was minimised (false) or restored (true), as a phone app leaves and
  // returns to the foreground.
  void setVisibilityHandler(std::function<void(bool shown)> handler);

  // Opens the SDL window and makes the main loop wait on SDL events as well as on its own
  // work. False (with a console line) when SDL cannot start.
  bool open(const std::string& title);
  // Handles the pending SDL events; false once the user closed the window.
  bool pumpEvents();
  // Draws the tree (and the panel) and shows it; the SDL window follows their sizes.
  void present();
  // Pumps and presents every display frame until the window is closed, then returns.
  void run();
  std::uint64_t framesShown() const;

  // Where the shown window sits in the SDL window, in pixels.
  ui::Rect windowArea() const;
  // Where the side panel is drawn, in the same pixels.
  ui::Rect panelArea() const;
  // The SDL window's pixels as the X server holds them; empty unless SDL runs on X11.
  Bitmap grabFromServer() const;

 private:
  struct State;
  std::shared_ptr<ui::Window> shownWindow() const;
  void layout();
  void releaseEverything();
  std::unique_ptr<State> state_;
};

}  // namespace platform::render::sdl
