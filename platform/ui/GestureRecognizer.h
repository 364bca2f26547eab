#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Touch.h"

namespace platform::ui {

class View;

// UIGestureRecognizer: sees the touches of its view (and the view's subviews) before the
// view does. Subclasses override the touch entries and move `state`; the targets run on
// every change to began, changed, ended (recognised) or cancelled. When a recogniser begins
// or recognises, the view's own touches are cancelled (cancelsTouchesInView) and the other
// recognisers of those touches fail.
class LUMO_PLATFORM_EXPORT GestureRecognizer : public std::enable_shared_from_this<GestureRecognizer> {
 public:
  enum class State { possible, began, changed, ended, cancelled, failed };
  using Action = std::function<void(GestureRecognizer&)>;

  GestureRecognizer() = default;
  explicit GestureRecognizer(Action action) { addTarget(std::move(action)); }
  virtual ~GestureRecognizer() = default;

  void addTarget(Action action) { if (action) actions_.push_back(std::move(action)); }
  std::shared_ptr<View> view() const { return view_.lock(); }
  State state() const { return state_; }
  // Moves the state; runs the targets on began, changed, ended and cancelled.
  void setState(State state);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool cancelsTouchesInView() const { return cancelsTouchesInView_; }
  void setCancelsTouchesInView(bool cancels) { cancelsTouchesInView_ = cancels; }
  // The delegate's gestureRecognizer(_:shouldReceive:): a touch it refuses is never seen.
  std::function<bool(GestureRecognizer&, const Touch&)> shouldReceiveTouch;
  // Centroid of the current touches in `view`'s coordinates.
  Point locationIn(const View* view) const;
  Point locationIn(const std::shared_ptr<View>& view) const { return locationIn(view.get()); }
  std::size_t numberOfTouches() const { return touches_.size(); }
  // Discrete recognisers (tap) yield to controls under the finger.
  virtual bool isDiscrete() const { return false; }

  virtual void touchesBegan(const TouchSet& touches);
  virtual void touchesMoved(const TouchSet& touches);
  virtual void touchesEnded(const TouchSet& touches);
  virtual void touchesCancelled(const TouchSet& touches);
  // Back to possible once its touches have ended; subclasses clear their own state.
  virtual void reset() {}

  // ---- called by the view tree and the window
  void attach(std::weak_ptr<View> view) { view_ = std::move(view); }
  void trackTouch(const std::shared_ptr<Touch>& touch);
  void untrackTouch(const std::shared_ptr<Touch>& touch);
  bool tracks(const Touch* touch) const;
  // Resets a recogniser in a final state once it has no touches left.
  void resetIfDone();

 private:
  std::weak_ptr<View> view_;
  std::vector<Action> actions_;
  State state_ = State::possible;
  bool enabled_ = true;
  bool cancelsTouchesInView_ = true;
  TouchSet touches_;
};

// UITapGestureRecognizer: one finger down and up without moving more than 10 points.
class LUMO_PLATFORM_EXPORT TapGestureRecognizer : public GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  static constexpr double kAllowableMovement = 10;
  bool isDiscrete() const override { return true; }
  void touchesBegan(const TouchSet& touches) override;
  void touchesMoved(const TouchSet& touches) override;
  void touchesEnded(const TouchSet& touches) override;
  void touchesCancelled(const TouchSet& touches) override;

 private:
  Point start_{};
};

}  // namespace platform::ui
