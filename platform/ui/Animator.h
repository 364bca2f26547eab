#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Timer.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

class View;

// Runs UIView-style animations on the main-loop clock. A view's setter, called inside an
// animation block, records a track (from the current presentation value to the new model
// value); presentation values are computed from the clock on demand, so a test reads the
// exact value at any virtual instant. Each animation's completion runs from a timer at
// delay + duration, in due-time order, ties in start order.
class LUMO_PLATFORM_EXPORT Animator {
 public:
  enum class Property { alpha, transform, center, boundsSize, backgroundColor };
  using Value = std::array<double, 6>;

  static Animator& shared();

  // Called by View's setters.
  bool isCapturing() const { return !captures_.empty() && captures_.back().enabled; }
  void record(View* view, Property property, const Value& from, const Value& to);
  // A plain (non-animated) set drops a running track of that property.
  void dropTrack(View* view, Property property);

  void animate(dispatch::Seconds duration, dispatch::Seconds delay, AnimationOptions options,
               const AnimationBlock& animations, AnimationCompletion completion);
  void withoutAnimation(const AnimationBlock& block);

  // Stops every track of the view; animations left without tracks complete with false.
  void removeAnimations(View* view);
  // The view is being destroyed: drop its tracks without touching it again.
  void forgetView(View* view);

  std::optional<Value> presentation(const View* view, Property property) const;
  // Whether the view has a running track of an animation without allowUserInteraction.
  bool blocksInteraction(const View* view) const;
  bool isAnimating(const View* view) const;

  // Evaluates every running track at the current clock reading (the renderer's per-frame
  // work). Returns how many tracks were evaluated.
  std::size_t tick();
  std::size_t runningAnimationCount() const { return animations_.size(); }
  // Drops every animation without running completions (tests start from a fresh clock).
  void resetForTesting();

  static Value pack(double v) { return {v, 0, 0, 0, 0, 0}; }
  static Value pack(const AffineTransform& t);
  static Value pack(Point p) { return {p.x, p.y, 0, 0, 0, 0}; }
  static Value pack(Size s) { return {s.width, s.height, 0, 0, 0, 0}; }
  static Value pack(const Color& c) { return {c.red, c.green, c.blue, c.alpha, 0, 0}; }
  static AffineTransform unpackTransform(const Value& v);

 private:
  struct Capture {
    bool enabled;
    std::uint64_t animationId;
  };
  struct Track {
    Property property;
    Value from, to;
    std::uint64_t animationId;
  };
  struct Running {
    double start = 0;     // seconds on the clock, after the delay
    double duration = 0;
    AnimationOptions options = 0;
    AnimationCompletion completion;
    std::shared_ptr<dispatch::Timer> timer;
    std::size_t trackCount = 0;
    bool interrupted = false;
  };

  Animator() = default;
  double now() const;
  Value evaluate(const Track& track, const Running& animation, double at) const;
  void releaseTrack(std::uint64_t animationId);
  void finish(std::uint64_t animationId, bool finished);

  std::vector<Capture> captures_;
  std::map<std::uint64_t, Running> animations_;
  std::unordered_map<const View*, std::vector<Track>> tracks_;
  std::uint64_t nextId_ = 1;
};

}  // namespace platform::ui
