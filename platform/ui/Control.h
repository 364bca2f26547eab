#pragma once

#include <functional>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/View.h"

namespace platform::ui {

// UIControl.Event bits.
using ControlEvents = unsigned;
namespace ControlEvent {
inline constexpr ControlEvents touchDown = 1u << 0;
inline constexpr ControlEvents touchDragInside = 1u << 2;
inline constexpr ControlEvents touchDragOutside = 1u << 3;
inline constexpr ControlEvents touchDragEnter = 1u << 4;
inline constexpr ControlEvents touchDragExit = 1u << 5;
inline constexpr ControlEvents touchUpInside = 1u << 6;
inline constexpr ControlEvents touchUpOutside = 1u << 7;
inline constexpr ControlEvents touchCancel = 1u << 8;
inline constexpr ControlEvents valueChanged = 1u << 12;
inline constexpr ControlEvents primaryActionTriggered = 1u << 13;
inline constexpr ControlEvents editingDidBegin = 1u << 16;
inline constexpr ControlEvents editingChanged = 1u << 17;
inline constexpr ControlEvents editingDidEnd = 1u << 18;
inline constexpr ControlEvents allEvents = 0xffffffffu;
}  // namespace ControlEvent

// UIControl: tracks one finger from down to up and sends target-actions for its events.
// Subclasses override the tracking entries; a refused begin means no tracking and no events.
// A disabled control is skipped by hit testing.
class LUMO_PLATFORM_EXPORT Control : public View {
 public:
  using Action = std::function<void(Control&)>;
  using View::View;

  bool isEnabled() const { return enabled_; }
  virtual void setEnabled(bool enabled) { enabled_ = enabled; }
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected) { selected_ = selected; }
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
  bool isTracking() const { return tracking_; }
  bool isTouchInside() const { return touchInside_; }

  // Returns an id for removeTarget.
  int addTarget(Action action, ControlEvents events);
  int addTarget(std::function<void()> action, ControlEvents events);
  void removeTarget(int id);
  void removeAllTargets();
  // Runs the actions registered for any of `events`, in registration order.
  void sendActions(ControlEvents events);
  std::size_t targetCount() const { return targets_.size(); }

  virtual bool beginTracking(const Touch& touch);
  virtual bool continueTracking(const Touch& touch);
  virtual void endTracking(const Touch* touch);
  virtual void cancelTracking();

  void touchesBegan(const TouchSet& touches) override;
  void touchesMoved(const TouchSet& touches) override;
  void touchesEnded(const TouchSet& touches) override;
  void touchesCancelled(const TouchSet& touches) override;
  std::shared_ptr<View> hitTest(Point p) override;
  bool isControl() const override { return enabled_; }

 private:
  struct Target {
    int id;
    ControlEvents events;
    Action action;
  };
  std::vector<Target> targets_;
  int nextTargetId_ = 1;
  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  bool tracking_ = false;
  bool touchInside_ = false;
  std::shared_ptr<Touch> trackedTouch_;
};

}  // namespace platform::ui
