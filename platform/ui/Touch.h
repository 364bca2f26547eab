#pragma once

#include <memory>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

class View;
class Window;

// UITouch: one finger from down to up. Its view is the view hit at touch-down and keeps
// receiving the finger even when it moves outside or is removed from the tree meanwhile.
class LUMO_PLATFORM_EXPORT Touch {
 public:
  enum class Phase { began, moved, stationary, ended, cancelled };

  Touch(int identifier, std::shared_ptr<Window> window, std::shared_ptr<View> view, Point windowLocation,
        double timestamp);

  int identifier() const { return identifier_; }
  Phase phase() const { return phase_; }
  std::shared_ptr<View> view() const { return view_.lock(); }
  std::shared_ptr<Window> window() const { return window_.lock(); }
  // Location in `view`'s coordinates (the window's when `view` is null).
  Point locationIn(const View* view) const;
  Point previousLocationIn(const View* view) const;
  Point locationIn(const std::shared_ptr<View>& view) const { return locationIn(view.get()); }
  Point previousLocationIn(const std::shared_ptr<View>& view) const { return previousLocationIn(view.get()); }
  Point windowLocation() const { return location_; }
  double timestamp() const { return timestamp_; }
  int tapCount() const { return 1; }

  // Called by the window as the finger moves.
  void update(Phase phase, Point windowLocation, double timestamp);

 private:
  int identifier_;
  std::weak_ptr<Window> window_;
  // Weak: the view's own recognisers keep the touch, and the view tree owns the view (a
  // finger on a view that leaves the window is cancelled).
  std::weak_ptr<View> view_;
  Point location_;
  Point previous_;
  double timestamp_;
  Phase phase_ = Phase::began;
};

using TouchSet = std::vector<std::shared_ptr<Touch>>;

}  // namespace platform::ui
