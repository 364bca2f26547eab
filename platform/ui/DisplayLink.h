#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Timer.h"

namespace platform::ui {

// CADisplayLink: calls its handler on the main loop at 60 frames per second of clock time.
// Frame n falls exactly n/60 s after the start, so a virtual second holds 60 frames.
// A frame does not start when a strict timer (the command loop) falls due within the time the
// handler has recently taken: it runs right after that timer's handler (and what the handler
// posted) instead.
class LUMO_PLATFORM_EXPORT DisplayLink : public std::enable_shared_from_this<DisplayLink> {
 public:
  static constexpr int kFramesPerSecond = 60;
  using Handler = std::function<void(DisplayLink&)>;

  // Created paused; add() starts it.
  static std::shared_ptr<DisplayLink> make(Handler handler);
  ~DisplayLink();

  void add();
  // Stops for good (the handler is released).
  void invalidate();
  bool isValid() const { return valid_; }
  bool isPaused() const { return paused_; }
  void setPaused(bool paused);
  // Clock seconds of the frame being delivered, and of the next one.
  double timestamp() const { return timestamp_; }
  double targetTimestamp() const { return timestamp_ + duration(); }
  double duration() const { return 1.0 / kFramesPerSecond; }
  std::uint64_t frameCount() const { return frames_; }
  // The longest of the handler's recent runs in clock seconds (zero before the first).
  double typicalFrameTime() const;

 private:
  explicit DisplayLink(Handler handler) : handler_(std::move(handler)) {}
  void armNext();
  void fire();
  void deferPastStrictTimer();

  Handler handler_;
  std::shared_ptr<dispatch::Timer> timer_;
  bool valid_ = true;
  bool paused_ = true;
  double origin_ = 0;       // clock seconds of frame 0
  std::uint64_t next_ = 1;  // index of the next frame from the origin
  double timestamp_ = 0;
  std::uint64_t frames_ = 0;
  std::array<double, 16> recentFrameTimes_{};
  std::uint64_t deferral_ = 0;  // a deferred frame runs only if no restart or newer deferral came
};

// CACurrentMediaTime on the main-loop clock.
LUMO_PLATFORM_EXPORT double mediaTime();

}  // namespace platform::ui
