#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "demo/host/TourScript.h"

namespace platform::ui {
class Window;
}
namespace sim {
class VehicleSimulator;
}

namespace demo {

// Plays a tour on the key window, the way a user would: taps and drags go through the
// window's touch path, time passes on the main loop's clock (virtual in headless runs).
class TourPlayer {
 public:
  // Exit statuses: passed, an expectation failed, the tour cannot be played as written.
  static constexpr int kPassed = 0;
  static constexpr int kExpectationFailed = 1;
  static constexpr int kBadTour = 2;

  struct Outcome {
    int status = kPassed;
    std::string message;  // "FILE:LINE: ..." when the tour did not pass
    std::vector<std::filesystem::path> screenshots;
  };

  // Called after each command (the window host draws a frame there) and after each
  // screenshot was written (the window host compares its own frame); a non-empty answer
  // from the screenshot hook fails the tour with that message.
  struct Hooks {
    std::function<void()> afterCommand;
    // Shows the recorded sessions with the `index`th newest chosen (0: the newest) and gives
    // the window showing them; none when there are not that many.
    std::function<std::shared_ptr<platform::ui::Window>(std::size_t index)> showRecordings;
    std::function<std::string(const std::string& name, const std::filesystem::path& written)> afterScreenshot;
    // The same after the recordings were drawn (the window host compares its side panel).
    std::function<std::string(const std::string& name, const std::filesystem::path& written)> afterRecordings;
  };

  TourPlayer(sim::VehicleSimulator* vehicle, std::filesystem::path screenshotDir, Hooks hooks = {});
  Outcome play(const TourScript& script, const std::string& scriptName);

  // Pad name → view tag of the control page's direction pads.
  static int padTag(const std::string& pad);

 private:
  // An error text, or empty when the command went through.
  std::string run(const TourCommand& command, Outcome& outcome);
  std::shared_ptr<platform::ui::Window> screen() const;
  std::string tap(const std::string& text);
  std::string hold(const std::string& pad);
  std::string release(const std::string& pad);
  std::string dragWheel(double degrees);
  std::string vehicleEvent(const TourCommand& command);

  sim::VehicleSimulator* vehicle_;
  std::filesystem::path screenshotDir_;
  Hooks hooks_;
  // Fingers held down by hold/drag-wheel, by pad name.
  std::map<std::string, int> fingers_;
  int nextFinger_ = 10;
  double wheelAngle_ = 0;
};

}  // namespace demo
