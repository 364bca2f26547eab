#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Orientation.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

class Window;
class ViewController;

// UIWindowScene: one screen's worth of windows with an activation state and an interface
// orientation. Its bounds follow the orientation (portrait 390 × 844, landscape 844 × 390)
// and every window of the scene is resized with it.
class LUMO_PLATFORM_EXPORT WindowScene : public std::enable_shared_from_this<WindowScene> {
 public:
  enum class ActivationState { unattached, foregroundActive, foregroundInactive, background };
  using ErrorHandler = std::function<void(const std::string& message)>;

  static std::shared_ptr<WindowScene> make() { return std::make_shared<WindowScene>(); }
  WindowScene() = default;

  ActivationState activationState() const { return state_; }
  void setActivationState(ActivationState state) { state_ = state; }

  // Visible and hidden windows, in creation order (expired ones dropped).
  std::vector<std::shared_ptr<Window>> windows() const;
  std::shared_ptr<Window> keyWindow() const;
  void addWindow(const std::shared_ptr<Window>& window);
  void removeWindow(const std::shared_ptr<Window>& window);

  InterfaceOrientation interfaceOrientation() const { return orientation_; }
  Rect bounds() const;
  // requestGeometryUpdate: turns to the first orientation of `mask` that the application
  // and the top full-screen controller allow; otherwise the error handler runs (when given)
  // and nothing changes.
  void requestGeometryUpdate(InterfaceOrientationMask mask, ErrorHandler errorHandler = {});
  // Re-checks the current orientation against what is allowed now, turning when needed.
  void reevaluateOrientation();
  // The scene delegate's "did update coordinate space" entry.
  std::function<void(InterfaceOrientation previous)> onInterfaceOrientationChanged;
  // What the application and the windows' top full-screen controllers allow together.
  InterfaceOrientationMask allowedOrientations() const;

 private:
  void turnTo(InterfaceOrientation orientation);
  ActivationState state_ = ActivationState::unattached;
  InterfaceOrientation orientation_ = InterfaceOrientation::portrait;
  std::vector<std::weak_ptr<Window>> windows_;
};

}  // namespace platform::ui
