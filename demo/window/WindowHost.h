#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "demo/host/RecordingsPanel.h"
#include "demo/host/WorldPanel.h"
#include "demo/window/GamepadMapper.h"
#include "demo/window/PageFingers.h"
#include "platform/render/sdl/SdlHost.h"

namespace sim {
class VehicleSimulator;
}

namespace demo {

// The demo's window: the phone's key window at its true aspect beside the world panel. The
// mouse is a finger, typing goes to the focused field, and the arrow keys and a game
// controller press and release the control page's direction pads (the controller also turns
// the wheel and taps 退出) through the same touch path a finger takes.
class WindowHost {
 public:
  using GamepadButton = platform::render::sdl::SdlHost::GamepadButton;
  // `recordings` lists the recorded sessions the panel's "会话记录" shows (none: no button).
  WindowHost(sim::VehicleSimulator* vehicle, double scale, GamepadButton deadMan = GamepadButton::leftShoulder,
             RecordingsPanel::Listing recordings = {});
  bool open();
  // Until the window is closed (real time).
  void run();
  // One frame now: events, panel, drawing (tours call it after each step).
  void showFrame();
  // Grabs the phone area (or the side panel's) from the X server, writes it to `grabbed` and
  // compares it with the screenshot at `reference`; a description of the difference, or
  // empty when they agree.
  enum class Area { phone, sidePanel };
  std::string compareWithGrab(const std::filesystem::path& reference, const std::filesystem::path& grabbed,
                              Area area = Area::phone);

  // The controller whose input reaches the page (the first one connected), if any.
  std::optional<std::string> gamepadName() const;
  const GamepadMapper& gamepad() const { return mapper_; }
  WorldPanel* panel() const { return panel_.get(); }
  // The recorded sessions in place of the world panel, the newest chosen; back with its button.
  // The panel's window, none without a listing.
  std::shared_ptr<platform::ui::Window> showRecordings();
  void showWorld();
  RecordingsPanel* recordings() const { return recordings_.get(); }

 private:
  void key(platform::render::sdl::SdlHost::Key key, bool down);
  void gamepadEvent(const platform::render::sdl::SdlHost::GamepadEvent& event);
  void gamepadAction(const GamepadMapper::Action& action);
  void driveWith(std::optional<int> controller);
  void followPageMode();
  void everyFrame();
  void switchWindow();

  std::unique_ptr<WorldPanel> panel_;
  std::unique_ptr<RecordingsPanel> recordings_;
  platform::render::sdl::SdlHost host_;
  PageFingers keyFingers_{100};
  PageFingers gamepadFingers_{200};
  GamepadMapper mapper_;
  // Connected controllers by id, with their names.
  std::map<int, std::string> controllers_;
  std::optional<int> driving_;
};

}  // namespace demo
