#pragma once

#include <optional>
#include <string>
#include <vector>

namespace demo {

// The command line of lumodemo.
struct DemoOptions {
  std::optional<std::string> backendUrl;  // --backend URL (https only)
  std::optional<std::string> caFile;      // --ca FILE, trusted for that backend
  std::optional<std::string> tour;        // --tour FILE
  std::optional<std::string> screenshots; // --screenshots DIR
  std::optional<std::string> compareWith; // --compare DIR: grabbed window frames against these
  std::optional<std::string> ble;         // --ble sim|bluez: the radio (else LUMO_BLE, else sim)
  bool window = false;                    // --window: play the tour in the window
  bool headless = false;                  // --headless: never open a window
  double scale = 1.0;                     // --scale N (pixels per point)
  // --dead-man left-shoulder|right-shoulder: the game controller's button to hold
  enum class DeadMan { leftShoulder, rightShoulder };
  DeadMan deadMan = DeadMan::leftShoulder;
  bool help = false;

  struct Parsed;
  static Parsed parse(const std::vector<std::string>& arguments);
  static std::string usage();
};

struct DemoOptions::Parsed {
  std::optional<DemoOptions> options;
  std::string error;  // for the user, when options is empty
};

}  // namespace demo
