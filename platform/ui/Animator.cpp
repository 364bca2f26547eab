#include "platform/ui/Animator.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"

namespace platform::ui {
namespace {

// Cubic Bézier timing curve through (0,0), (x1,y1), (x2,y2), (1,1), solved for x = t.
double bezierCurve(double x1, double y1, double x2, double y2, double t) {
  auto coord = [](double p1, double p2, double s) {
    return 3 * (1 - s) * (1 - s) * s * p1 + 3 * (1 - s) * s * s * p2 + s * s * s;
  };
  double lo = 0, hi = 1, s = t;
  for (int i = 0; i < 28; ++i) {
    s = (lo + hi) / 2;
    if (coord(x1, x2, s) < t) lo = s; else hi = s;
  }
  return coord(y1, y2, s);
}

double applyCurve(AnimationOptions options, double t) {
  switch (options & AnimationOption::curveMask) {
    case AnimationOption::curveLinear: return t;
    case AnimationOption::curveEaseIn: return bezierCurve(0.42, 0, 1, 1, t);
    case AnimationOption::curveEaseOut: return bezierCurve(0, 0, 0.58, 1, t);
    default: return bezierCurve(0.42, 0, 0.58, 1, t);
  }
}

// A transform as translation, scale and rotation, so a rotation interpolates by angle.
struct Decomposed {
  double tx, ty, sx, sy, angle;
};
Decomposed decompose(const Animator::Value& v) {
  double a = v[0], b = v[1], c = v[2], d = v[3];
  double sx = std::hypot(a, b);
  double angle = std::atan2(b, a);
  double sy = sx > 0 ? (a * d - b * c) / sx : std::hypot(c, d);
  return {v[4], v[5], sx, sy, angle};
}

}  // namespace

Animator& Animator::shared() {
  static Animator* animator = new Animator();  // lives for the process; views outlive tests' scopes
  return *animator;
}

Animator::Value Animator::pack(const AffineTransform& t) { return {t.a, t.b, t.c, t.d, t.tx, t.ty}; }

AffineTransform Animator::unpackTransform(const Value& v) { return {v[0], v[1], v[2], v[3], v[4], v[5]}; }

double Animator::now() const {
  return std::chrono::duration<double>(dispatch::Scheduler::clock().now()).count();
}

void Animator::record(View* view, Property property, const Value& from, const Value& to) {
  if (captures_.empty()) return;
  auto id = captures_.back().animationId;
  auto it = animations_.find(id);
  if (it == animations_.end()) return;
  auto& list = tracks_[view];
  for (auto t = list.begin(); t != list.end(); ++t) {
    if (t->property == property) {
      releaseTrack(t->animationId);
      list.erase(t);
      break;
    }
  }
  list.push_back({property, from, to, id});
  ++it->second.trackCount;
}

void Animator::dropTrack(View* view, Property property) {
  auto found = tracks_.find(view);
  if (found == tracks_.end()) return;
  auto& list = found->second;
  for (auto t = list.begin(); t != list.end(); ++t) {
    if (t->property == property) {
      releaseTrack(t->animationId);
      list.erase(t);
      break;
    }
  }
  if (list.empty()) tracks_.erase(found);
}

void Animator::releaseTrack(std::uint64_t animationId) {
  auto it = animations_.find(animationId);
  if (it != animations_.end() && it->second.trackCount > 0) --it->second.trackCount;
  // An animation whose tracks were all replaced still completes (finished) at its end time.
}

void Animator::animate(dispatch::Seconds duration, dispatch::Seconds delay, AnimationOptions options,
                       const AnimationBlock& animations, AnimationCompletion completion) {
  double d = std::max(0.0, duration.count());
  double wait = std::max(0.0, delay.count());
  std::uint64_t id = nextId_++;
  Running running;
  running.start = now() + wait;
  running.duration = d;
  running.options = options;
  running.completion = std::move(completion);
  animations_.emplace(id, std::move(running));
  captures_.push_back({true, id});
  if (animations) animations();
  captures_.pop_back();

  auto it = animations_.find(id);
  if (it == animations_.end()) return;
  if (it->second.trackCount == 0) {
    // Nothing animatable changed: the completion still runs, on the next turn of the loop.
    auto done = std::move(it->second.completion);
    animations_.erase(it);
    if (done) dispatch::MainLoop::post([done] { done(true); });
    return;
  }
  it->second.timer = dispatch::Timer::scheduled(dispatch::Seconds(wait + d), false,
                                                [this, id](dispatch::Timer&) { finish(id, true); });
}

void Animator::withoutAnimation(const AnimationBlock& block) {
  captures_.push_back({false, 0});
  if (block) block();
  captures_.pop_back();
}

void Animator::finish(std::uint64_t animationId, bool finished) {
  auto it = animations_.find(animationId);
  if (it == animations_.end()) return;
  auto completion = std::move(it->second.completion);
  if (it->second.timer) it->second.timer->invalidate();
  bool interrupted = it->second.interrupted;
  animations_.erase(it);
  for (auto view = tracks_.begin(); view != tracks_.end();) {
    auto& list = view->second;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const Track& t) { return t.animationId == animationId; }),
               list.end());
    view = list.empty() ? tracks_.erase(view) : std::next(view);
  }
  if (completion) completion(finished && !interrupted);
}

void Animator::removeAnimations(View* view) {
  auto found = tracks_.find(view);
  if (found == tracks_.end()) return;
  std::vector<std::uint64_t> emptied;
  for (const auto& track : found->second) {
    auto it = animations_.find(track.animationId);
    if (it == animations_.end()) continue;
    it->second.interrupted = true;
    if (it->second.trackCount > 0 && --it->second.trackCount == 0) emptied.push_back(track.animationId);
  }
  tracks_.erase(found);
  for (auto id : emptied) {
    auto it = animations_.find(id);
    if (it == animations_.end()) continue;
    if (it->second.timer) it->second.timer->invalidate();
    auto completion = std::move(it->second.completion);
    animations_.erase(it);
    // Core Animation reports a removed animation after the current turn, not re-entrantly.
    if (completion) dispatch::MainLoop::post([completion] { completion(false); });
  }
}

void Animator::forgetView(View* view) {
  auto found = tracks_.find(view);
  if (found == tracks_.end()) return;
  for (const auto& track : found->second) releaseTrack(track.animationId);
  tracks_.erase(found);
}

Animator::Value Animator::evaluate(const Track& track, const Running& animation, double at) const {
  double t = animation.duration > 0 ? std::clamp((at - animation.start) / animation.duration, 0.0, 1.0)
                                    : (at >= animation.start ? 1.0 : 0.0);
  double p = applyCurve(animation.options, t);
  Value out{};
  if (track.property == Property::transform) {
    auto a = decompose(track.from), b = decompose(track.to);
    auto lerp = [p](double x, double y) { return x + (y - x) * p; };
    AffineTransform m = AffineTransform::scale(lerp(a.sx, b.sx), lerp(a.sy, b.sy))
                            .concat(AffineTransform::rotation(lerp(a.angle, b.angle)))
                            .concat(AffineTransform::translation(lerp(a.tx, b.tx), lerp(a.ty, b.ty)));
    return pack(m);
  }
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = track.from[i] + (track.to[i] - track.from[i]) * p;
  return out;
}

std::optional<Animator::Value> Animator::presentation(const View* view, Property property) const {
  auto found = tracks_.find(view);
  if (found == tracks_.end()) return std::nullopt;
  for (const auto& track : found->second) {
    if (track.property != property) continue;
    auto it = animations_.find(track.animationId);
    if (it == animations_.end()) return std::nullopt;
    return evaluate(track, it->second, now());
  }
  return std::nullopt;
}

bool Animator::blocksInteraction(const View* view) const {
  auto found = tracks_.find(view);
  if (found == tracks_.end()) return false;
  for (const auto& track : found->second) {
    auto it = animations_.find(track.animationId);
    if (it != animations_.end() && !(it->second.options & AnimationOption::allowUserInteraction)) return true;
  }
  return false;
}

void Animator::resetForTesting() {
  for (auto& [id, running] : animations_) {
    if (running.timer) running.timer->invalidate();
  }
  animations_.clear();
  tracks_.clear();
  captures_.clear();
}

bool Animator::isAnimating(const View* view) const { return tracks_.count(view) > 0; }

std::size_t Animator::tick() {
  double at = now();
  std::size_t evaluated = 0;
  volatile double sink = 0;  // keeps the evaluation from being optimised away
  for (const auto& [view, list] : tracks_) {
    for (const auto& track : list) {
      auto it = animations_.find(track.animationId);
      if (it == animations_.end()) continue;
      sink = sink + evaluate(track, it->second, at)[0];
      ++evaluated;
    }
  }
  return evaluated;
}

}  // namespace platform::ui
