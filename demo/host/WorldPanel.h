#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/Window.h"

namespace sim {
class VehicleSimulator;
}

namespace demo {

// The simulated world beside the phone: a top view of the vehicle with its trail, its speed,
// steering, door, drive mode, control authority and link, and buttons that make the vehicle
// do to a session what a real one does (taken over remotely, by the on-site controller or
// for safety, lagging, losing the link), and the game controller that drives the page. A
// window of its own, not part of any scene.
class WorldPanel {
 public:
  static constexpr double kWidth = 400;
  static constexpr double kHeight = 668;
  // Trail points kept; the oldest go first.
  static constexpr std::size_t kTrailLimit = 2000;

  // `switchWindow` runs for the panel's "切换窗口" button (the host shows another scene),
  // `showRecordings` for its "会话记录" button (shown only with one).
  WorldPanel(sim::VehicleSimulator& vehicle, std::function<void()> switchWindow,
             std::function<void()> showRecordings = {});

  const std::shared_ptr<platform::ui::Window>& window() const { return window_; }
  // Samples the vehicle: labels, trail and the drawn vehicle follow it.
  void update();
  const std::vector<platform::ui::Point>& trail() const { return trail_; }
  std::shared_ptr<platform::ui::Button> button(const std::string& title) const;
  // The game controller the window host listens to: its name (empty: none connected), the
  // name of its dead-man button and whether that is held.
  struct Gamepad {
    std::string name;
    std::string deadManButton;
    bool deadManHeld = false;
  };
  void showGamepad(const Gamepad& gamepad);
  std::string statusText() const;

  static std::string driveModeName(int mode);

 private:
  void addButton(const std::string& title, std::function<void()> action);
  void layoutButtons();
  void drawMap();

  sim::VehicleSimulator& vehicle_;
  std::shared_ptr<platform::ui::Window> window_;
  std::shared_ptr<platform::ui::View> map_;
  std::shared_ptr<platform::ui::ShapeLayer> grid_;
  std::shared_ptr<platform::ui::ShapeLayer> trailLayer_;
  std::shared_ptr<platform::ui::ShapeLayer> body_;
  std::vector<std::shared_ptr<platform::ui::Label>> lines_;
  std::shared_ptr<platform::ui::Label> gamepadLine_;
  std::shared_ptr<platform::ui::Label> deadManLine_;
  std::vector<std::shared_ptr<platform::ui::Button>> buttons_;
  std::shared_ptr<platform::ui::Button> recordingsButton_;
  std::vector<platform::ui::Point> trail_;
  bool lagging_ = false;
};

}  // namespace demo
