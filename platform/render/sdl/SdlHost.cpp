#include "platform/render/sdl/SdlHost.h"

#include <SDL.h>

#include <atomic>
#include <cstring>

#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/render/Renderer.h"
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

}  // namespace

struct SdlHost::State {
  std::shared_ptr<ui::Window> window;
  double scale = 1;
  Renderer renderer;
  SDL_Window* sdlWindow = nullptr;
  Uint32 wakeEvent = 0;
  bool mouseDown = false;
  bool quit = false;
  std::uint64_t frames = 0;
  std::shared_ptr<ui::DisplayLink> link;
  State(std::shared_ptr<ui::Window> w, double s) : window(std::move(w)), scale(s), renderer(s) {}
};

SdlHost::SdlHost(std::shared_ptr<ui::Window> window, double scale)
    : state_(std::make_unique<State>(std::move(window), scale > 0 ? scale : 1.0)) {}

SdlHost::~SdlHost() {
  if (state_->link) state_->link->invalidate();
  if (state_->sdlWindow) {
    dispatch::MainLoop::setWaiter(nullptr);
    SDL_DestroyWindow(state_->sdlWindow);
    SDL_Quit();
  }
}

bool SdlHost::open(const std::string& title) {
  if (state_->sdlWindow) return true;
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    foundation::ConsoleLog::write(std::string("SdlHost: SDL_Init failed: ") + SDL_GetError());
    return false;
  }
  ui::Rect b = state_->window->bounds();
  state_->sdlWindow = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                       static_cast<int>(b.width() * state_->scale),
                                       static_cast<int>(b.height() * state_->scale), 0);
  if (!state_->sdlWindow) {
    foundation::ConsoleLog::write(std::string("SdlHost: SDL_CreateWindow failed: ") + SDL_GetError());
    SDL_Quit();
    return false;
  }
  state_->wakeEvent = SDL_RegisterEvents(1);
  dispatch::MainLoop::setWaiter(std::make_shared<SdlWaiter>(state_->wakeEvent));
  SDL_StartTextInput();
  return true;
}

bool SdlHost::pumpEvents() {
  auto& s = *state_;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    ui::Point p{};
    switch (event.type) {
      case SDL_QUIT: s.quit = true; break;
      case SDL_MOUSEBUTTONDOWN:
        if (event.button.button != SDL_BUTTON_LEFT) break;
        s.mouseDown = true;
        s.window->touchDown(0, {event.button.x / s.scale, event.button.y / s.scale});
        break;
      case SDL_MOUSEMOTION:
        if (!s.mouseDown) break;
        p = {event.motion.x / s.scale, event.motion.y / s.scale};
        s.window->touchMove(0, p);
        break;
      case SDL_MOUSEBUTTONUP:
        if (event.button.button != SDL_BUTTON_LEFT || !s.mouseDown) break;
        s.mouseDown = false;
        s.window->touchUp(0, {event.button.x / s.scale, event.button.y / s.scale});
        break;
      case SDL_TEXTINPUT: s.window->insertText(event.text.text); break;
      case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_BACKSPACE) s.window->deleteBackward();
        break;
      default: break;
    }
  }
  return !s.quit;
}

void SdlHost::present() {
  auto& s = *state_;
  if (!s.sdlWindow) return;
  ui::Rect b = s.window->bounds();
  int w = static_cast<int>(b.width() * s.scale), h = static_cast<int>(b.height() * s.scale);
  int cw = 0, ch = 0;
  SDL_GetWindowSize(s.sdlWindow, &cw, &ch);
  if (cw != w || ch != h) SDL_SetWindowSize(s.sdlWindow, w, h);  // the scene turned
  s.renderer.draw(*s.window);
  Bitmap frame = s.renderer.frame();
  SDL_Surface* target = SDL_GetWindowSurface(s.sdlWindow);
  if (!target) return;
  // The frame is opaque (drawn over black), so cairo's premultiplied ARGB is plain ARGB8888.
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(frame.pixels().data()),
                                                           frame.width(), frame.height(), 32, frame.width() * 4,
                                                           SDL_PIXELFORMAT_ARGB8888);
  if (source) {
    SDL_BlitSurface(source, nullptr, target, nullptr);
    SDL_FreeSurface(source);
    SDL_UpdateWindowSurface(s.sdlWindow);
    ++s.frames;
  }
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
    present();
  });
  s.link->add();
  dispatch::MainLoop::run();
}

std::uint64_t SdlHost::framesShown() const { return state_->frames; }

}  // namespace platform::render::sdl
