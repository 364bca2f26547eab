#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Geometry.h"

namespace platform::ui {
class View;
class Window;
}  // namespace platform::ui

namespace demo {

// Fingers of an input device on the key window: they press the control page's direction
// pads (found by their tags), turn its steering wheel and tap its buttons through the
// window's touch path, exactly as a finger on the glass does, so the page cannot tell
// them apart. Each pad and the wheel get a finger of their own, held until lifted.
class PageFingers {
 public:
  // Fingers are numbered from `firstFinger`; devices sharing a window use distinct ranges.
  explicit PageFingers(int firstFinger);
  ~PageFingers();
  PageFingers(const PageFingers&) = delete;
  PageFingers& operator=(const PageFingers&) = delete;

  // False when no pad with the tag is shown, or it is already held.
  bool press(int padTag);
  // Lifts the finger over the pad; a pad gone meanwhile has its touch cancelled.
  void release(int padTag);
  // Puts a finger on the wheel's rim (the first time) and moves it to the angle, -1 (full
  // left) ... 1 (full right), along the rim in steps as a finger slides. False when no
  // wheel is shown.
  bool turnWheel(double normalised);
  void letGoOfWheel();
  // Taps the topmost view showing exactly `text`; false when none does.
  bool tap(const std::string& text);
  // Lifts every finger still down.
  void releaseAll();

  bool holds(int padTag) const { return pads_.count(padTag) > 0; }
  bool holdsWheel() const { return wheel_.has_value(); }

 private:
  struct Held {
    std::weak_ptr<platform::ui::Window> window;
    std::weak_ptr<platform::ui::View> view;
    int finger = 0;
    platform::ui::Point at{};
  };
  void moveWheelFinger(double degrees);

  int firstFinger_;
  std::map<int, Held> pads_;
  std::optional<Held> wheel_;
  // The wheel finger's place on the rim, in degrees clockwise from the top.
  double wheelDegrees_ = 0;
};

}  // namespace demo
