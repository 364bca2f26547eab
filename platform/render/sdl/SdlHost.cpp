#include "platform/render/sdl/SdlHost.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/render/Renderer.h"
#include "platform/render/sdl/SdlGamepads.h"
#include "platform/ui/DisplayLink.h"
#include "platform/ui/Window.h"

namespace platform::render::sdl {
namespace {

// Lets the main loop sleep in SDL_WaitEventTimeout, so window events and timers both wake it;
// a block posted from another thread wakes it through an SDL user event.
class SdlWaiter : public dispatch::MainLoopWaiter {
 public:
  explicit SdlWaiter(Uint32 wakeEvent) : wakeEvent_(wakeEvent) {}
  void waitUntil(std::chrono::steady_clock::time_point deadline) override {
    int timeout = -1;
    if (deadline != std::chrono::steady_clock::time_point::max()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      timeout = static_cast<int>(std::clamp<long long>(left.count(), 0, 1000));
    }
    SDL_WaitEventTimeout(nullptr, timeout);  // leaves the event queued for pumpEvents
  }
  void wake() override {
    SDL_Event event{};
    event.type = wakeEvent_;
    SDL_PushEvent(&event);
  }

 private:
  Uint32 wakeEvent_;
};

const Uint32 kCanvasBackground = 0xff1c1f26;

// A failed X request (a window partly off the screen cannot be read back) must not end
// the process, which Xlib's default handler does.
bool xRequestFailed = false;
int recordXError(Display*, XErrorEvent*) {
  xRequestFailed = true;
  return 0;
}

std::optional<SdlHost::Key> keyOf(SDL_Keycode code) {
  switch (code) {
    case SDLK_UP: return SdlHost::Key::up;
    case SDLK_DOWN: return SdlHost::Key::down;
    case SDLK_LEFT: return SdlHost::Key::left;
    case SDLK_RIGHT: return SdlHost::Key::right;
    default: return std::nullopt;
  }
}

// Copies a frame into the SDL surface at a pixel offset. The frame is opaque (drawn over
// black), so cairo's premultiplied ARGB is plain ARGB8888.
void blit(const Bitmap& frame, SDL_Surface* target, int x, int y) {
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(frame.pixels().data()),
                                                           frame.width(), frame.height(), 32, frame.width() * 4,
                                                           SDL_PIXELFORMAT_ARGB8888);
  if (!source) return;
  SDL_Rect at{x, y, frame.width(), frame.height()};
  SDL_BlitSurface(source, nullptr, target, &at);
  SDL_FreeSurface(source);
}

}  // namespace

struct SdlHost::State {
  std::shared_ptr<ui::Window> window;
  std::function<std::shared_ptr<ui::Window>()> source;
  std::shared_ptr<ui::Window> panel;
  KeyHandler keyHandler;
  SdlGamepads gamepads;
  std::function<void()> frameHandler;
  std::function<void(bool)> visibilityHandler;
  bool minimised = false;
  double scale = 1;
  Renderer renderer;
  Renderer panelRenderer;
  SDL_Window* sdlWindow = nullptr;
  Uint32 wakeEvent = 0;
  // The view-tree window the mouse pressed in; it gets the drag and the lift.
  std::shared_ptr<ui::Window> pressed;
  ui::Point pressedOrigin{};
  std::set<Key> keysDown;
  bool quit = false;
  std::uint64_t frames = 0;
  ui::Rect windowArea{};
  ui::Rect panelArea{};
  std::shared_ptr<ui::DisplayLink> link;
  State(std::shared_ptr<ui::Window> w, double s) : window(std::move(w)), scale(s), renderer(s), panelRenderer(s) {}
};

SdlHost::SdlHost(std::shared_ptr<ui::Window> window, double scale)
    : state_(std::make_unique<State>(std::move(window), scale > 0 ? scale : 1.0)) {}

SdlHost::~SdlHost() {
  if (state_->link) state_->link->invalidate();
  state_->gamepads.closeAll();
  if (state_->sdlWindow) {
    dispatch::MainLoop::setWaiter(nullptr);
    SDL_DestroyWindow(state_->sdlWindow);
    SDL_Quit();
  }
}

void SdlHost::setWindowSource(std::function<std::shared_ptr<ui::Window>()> source) {
  state_->source = std::move(source);
}
void SdlHost::setSidePanel(std::shared_ptr<ui::Window> panel) { state_->panel = std::move(panel); }
void SdlHost::setKeyHandler(KeyHandler handler) { state_->keyHandler = std::move(handler); }
void SdlHost::setFrameHandler(std::function<void()> handler) { state_->frameHandler = std::move(handler); }
void SdlHost::setVisibilityHandler(std::function<void(bool)> handler) {
  state_->visibilityHandler = std::move(handler);
}

void SdlHost::setGamepadHandler(GamepadHandler handler) { state_->gamepads.setHandler(std::move(handler)); }

double SdlHost::gamepadAxis(int controller, GamepadAxis axis) const { return state_->gamepads.axis(controller, axis); }

bool SdlHost::isGamepadButtonDown(int controller, GamepadButton button) const {
  return state_->gamepads.isButtonDown(controller, button);
}

std::shared_ptr<ui::Window> SdlHost::shownWindow() const {
  if (state_->source) {
    if (auto chosen = state_->source()) return chosen;
  }
  return state_->window;
}

ui::Rect SdlHost::windowArea() const { return state_->windowArea; }

ui::Rect SdlHost::panelArea() const { return state_->panelArea; }

void SdlHost::layout() {
  auto& s = *state_;
  auto window = shownWindow();
  ui::Rect b = window ? window->bounds() : ui::Rect{};
  ui::Rect p = s.panel ? s.panel->bounds() : ui::Rect{};
  double height = std::max(b.height(), p.height());
  // The phone keeps its true aspect; it sits centred beside the panel when it is shorter.
  s.windowArea = {0, std::round((height - b.height()) * s.scale / 2), std::round(b.width() * s.scale),
                  std::round(b.height() * s.scale)};
  s.panelArea = {s.windowArea.width(), 0, std::round(p.width() * s.scale), std::round(p.height() * s.scale)};
}

bool SdlHost::open(const std::string& title) {
  if (state_->sdlWindow) return true;
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    foundation::ConsoleLog::write(std::string("SdlHost: SDL_Init failed: ") + SDL_GetError());
    return false;
  }
  // Controllers are a convenience: without them the window still works.
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) {
    foundation::ConsoleLog::write(std::string("SdlHost: no game controllers: ") + SDL_GetError());
  }
  layout();
  auto& s = *state_;
  int width = static_cast<int>(s.windowArea.width() + s.panelArea.width());
  int height = static_cast<int>(std::max(s.windowArea.maxY(), s.panelArea.maxY()));
  s.sdlWindow = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, 0);
  if (!s.sdlWindow) {
    foundation::ConsoleLog::write(std::string("SdlHost: SDL_CreateWindow failed: ") + SDL_GetError());
    SDL_Quit();
    return false;
  }
  s.wakeEvent = SDL_RegisterEvents(1);
  dispatch::MainLoop::setWaiter(std::make_shared<SdlWaiter>(s.wakeEvent));
  SDL_StartTextInput();
  return true;
}

void SdlHost::releaseEverything() {
  auto& s = *state_;
  if (s.pressed) {
    s.pressed->touchCancel(0);
    s.pressed.reset();
  }
  auto down = s.keysDown;
  s.keysDown.clear();
  if (s.keyHandler) {
    for (Key key : down) s.keyHandler(key, false);
  }
  s.gamepads.releaseButtons();
}

bool SdlHost::pumpEvents() {
  auto& s = *state_;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT: s.quit = true; break;
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) releaseEverything();
        if (event.window.event == SDL_WINDOWEVENT_MINIMIZED && !s.minimised) {
          s.minimised = true;
          releaseEverything();
          if (s.visibilityHandler) s.visibilityHandler(false);
        } else if (event.window.event == SDL_WINDOWEVENT_RESTORED && s.minimised) {
          s.minimised = false;
          if (s.visibilityHandler) s.visibilityHandler(true);
        }
        break;
      case SDL_MOUSEBUTTONDOWN: {
        if (event.button.button != SDL_BUTTON_LEFT || s.pressed) break;
        ui::Point at{static_cast<double>(event.button.x), static_cast<double>(event.button.y)};
        if (s.windowArea.contains(at)) {
          s.pressed = shownWindow();
          s.pressedOrigin = s.windowArea.origin;
        } else if (s.panel && s.panelArea.contains(at)) {
          s.pressed = s.panel;
          s.pressedOrigin = s.panelArea.origin;
        }
        if (s.pressed) {
          s.pressed->touchDown(0, {(at.x - s.pressedOrigin.x) / s.scale, (at.y - s.pressedOrigin.y) / s.scale});
        }
        break;
      }
      case SDL_MOUSEMOTION:
        if (!s.pressed) break;
        s.pressed->touchMove(0, {(event.motion.x - s.pressedOrigin.x) / s.scale,
                                 (event.motion.y - s.pressedOrigin.y) / s.scale});
        break;
      case SDL_MOUSEBUTTONUP:
        if (event.button.button != SDL_BUTTON_LEFT || !s.pressed) break;
        s.pressed->touchUp(0, {(event.button.x - s.pressedOrigin.x) / s.scale,
                               (event.button.y - s.pressedOrigin.y) / s.scale});
        s.pressed.reset();
        break;
      case SDL_TEXTINPUT:
        if (auto window = shownWindow()) window->insertText(event.text.text);
        break;
      case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_BACKSPACE) {
          if (auto window = shownWindow()) window->deleteBackward();
        } else if (auto key = keyOf(event.key.keysym.sym); key && !event.key.repeat && s.keysDown.insert(*key).second) {
          if (s.keyHandler) s.keyHandler(*key, true);
        }
        break;
      case SDL_KEYUP:
        if (auto key = keyOf(event.key.keysym.sym); key && s.keysDown.erase(*key)) {
          if (s.keyHandler) s.keyHandler(*key, false);
        }
        break;
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED:
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
      case SDL_CONTROLLERAXISMOTION: s.gamepads.handle(event); break;
      default: break;
    }
  }
  return !s.quit;
}

void SdlHost::present() {
  auto& s = *state_;
  if (!s.sdlWindow) return;
  auto window = shownWindow();
  layout();
  int width = static_cast<int>(s.windowArea.width() + s.panelArea.width());
  int height = static_cast<int>(std::max(s.windowArea.maxY(), s.panelArea.maxY()));
  int cw = 0, ch = 0;
  SDL_GetWindowSize(s.sdlWindow, &cw, &ch);
  if (cw != width || ch != height) {  // the scene turned
    SDL_SetWindowSize(s.sdlWindow, width, height);
    SDL_SetWindowPosition(s.sdlWindow, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  SDL_Surface* target = SDL_GetWindowSurface(s.sdlWindow);
  if (!target) return;
  SDL_FillRect(target, nullptr, kCanvasBackground);
  if (window) {
    s.renderer.draw(*window);
    blit(s.renderer.frame(), target, static_cast<int>(s.windowArea.minX()), static_cast<int>(s.windowArea.minY()));
  }
  if (s.panel) {
    s.panelRenderer.draw(*s.panel);
    blit(s.panelRenderer.frame(), target, static_cast<int>(s.panelArea.minX()), static_cast<int>(s.panelArea.minY()));
  }
  SDL_UpdateWindowSurface(s.sdlWindow);
  ++s.frames;
}

void SdlHost::run() {
  auto& s = *state_;
  if (!s.sdlWindow) return;
  s.link = ui::DisplayLink::make([this](ui::DisplayLink&) {
    if (!pumpEvents()) {
      state_->link->invalidate();
      dispatch::MainLoop::stop();
      return;
    }
    if (state_->frameHandler) state_->frameHandler();
    present();
  });
  s.link->add();
  dispatch::MainLoop::run();
}

std::uint64_t SdlHost::framesShown() const { return state_->frames; }

Bitmap SdlHost::grabFromServer() const {
  auto& s = *state_;
  if (!s.sdlWindow) return {};
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(s.sdlWindow, &info) || info.subsystem != SDL_SYSWM_X11) return {};
  Display* display = info.info.x11.display;
  ::Window xwindow = info.info.x11.window;
  XSync(display, False);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, xwindow, &attributes)) return {};
  xRequestFailed = false;
  auto previous = XSetErrorHandler(recordXError);
  XImage* image = XGetImage(display, xwindow, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (!image || xRequestFailed) {
    if (image) XDestroyImage(image);
    foundation::ConsoleLog::write("SdlHost: the X server could not hand back the window (is it partly off the screen?)");
    return {};
  }
  auto channel = [](unsigned long pixel, unsigned long mask) -> std::uint32_t {
    if (mask == 0) return 0;
    int shift = __builtin_ctzl(mask);
    unsigned long value = (pixel & mask) >> shift, maximum = mask >> shift;
    return static_cast<std::uint32_t>(value * 255 / maximum);
  };
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(attributes.width) * attributes.height);
  for (int y = 0; y < attributes.height; ++y) {
    for (int x = 0; x < attributes.width; ++x) {
      unsigned long p = XGetPixel(image, x, y);
      pixels[static_cast<std::size_t>(y) * attributes.width + x] = 0xff000000u | channel(p, image->red_mask) << 16 |
                                                                   channel(p, image->green_mask) << 8 |
                                                                   channel(p, image->blue_mask);
    }
  }
  XDestroyImage(image);
  return Bitmap(attributes.width, attributes.height, std::move(pixels));
}

}  // namespace platform::render::sdl
