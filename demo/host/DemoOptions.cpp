#include "demo/host/DemoOptions.h"

#include <charconv>

namespace demo {

std::string DemoOptions::usage() {
  return "usage: lumodemo [options]\n"
         "\n"
         "Without options the demo runs its own backend on a free loopback port and the demo\n"
         "vehicle on the simulated radio, and opens its window; without a display (or with\n"
         "--headless) it plays the product tour instead and says where its screenshots are.\n"
         "\n"
         "  --backend URL       use the backend at URL (https only) instead of the embedded one\n"
         "  --ca FILE           trust the PEM certificate(s) in FILE for that backend\n"
         "  --tour FILE         play the tour script FILE in virtual time and exit\n"
         "  --screenshots DIR   where the tour's screenshots go (default: the current folder,\n"
         "                      lumodemo-screenshots for the product tour)\n"
         "  --window            play the tour in the window instead of headless\n"
         "  --compare DIR       with --window: compare each frame grabbed from the window with\n"
         "                      the screenshot of the same name in DIR\n"
         "  --headless          never open a window (without --tour: play the product tour)\n"
         "  --scale N           window pixels per point, 0.5 to 4 (default 1)\n"
         "  --ble RADIO         sim (the simulated radio and demo vehicle) or bluez (this machine's\n"
         "                      Bluetooth through BlueZ, in real time: not with tours); default\n"
         "                      LUMO_BLE, else sim\n"
         "  --dead-man BUTTON   the game controller's dead-man button: left-shoulder (default)\n"
         "                      or right-shoulder\n"
         "  --help              show this text\n"
         "\n"
         "In the window the mouse is a finger and the arrow keys press the direction pads. A game\n"
         "controller (plugged in at any time; the window must have the focus) drives the control\n"
         "page the same way, only while its dead-man button is held:\n"
         "\n"
         "  left shoulder (LB/L1)  dead-man (with --dead-man right-shoulder: RB/R1): hold it\n"
         "                         to drive; letting go (or unplugging the controller)\n"
         "                         releases everything the controller pressed\n"
         "  left stick up/down     forward / back pad (the D-pad's up and down too)\n"
         "  left stick sideways    key mode: left / right pad; wheel mode: turns the steering\n"
         "                         wheel to the stick's angle (the D-pad's left and right: full lock)\n"
         "  B (east face button)   the page's 退出 button\n"
         "\n"
         "A stick or D-pad held when the dead-man button goes down does nothing until let go.\n";
}

DemoOptions::Parsed DemoOptions::parse(const std::vector<std::string>& arguments) {
  DemoOptions options;
  auto fail = [](std::string message) { return Parsed{std::nullopt, std::move(message)}; };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= arguments.size() || arguments[i + 1].rfind("--", 0) == 0) return std::nullopt;
      return arguments[++i];
    };
    std::optional<std::string>* target = nullptr;
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--window") {
      options.window = true;
    } else if (argument == "--headless") {
      options.headless = true;
    } else if (argument == "--backend") {
      target = &options.backendUrl;
    } else if (argument == "--ca") {
      target = &options.caFile;
    } else if (argument == "--tour") {
      target = &options.tour;
    } else if (argument == "--screenshots") {
      target = &options.screenshots;
    } else if (argument == "--compare") {
      target = &options.compareWith;
    } else if (argument == "--ble") {
      target = &options.ble;
    } else if (argument == "--dead-man") {
      auto text = value();
      if (text == "left-shoulder") {
        options.deadMan = DeadMan::leftShoulder;
      } else if (text == "right-shoulder") {
        options.deadMan = DeadMan::rightShoulder;
      } else {
        return fail("option --dead-man takes left-shoulder or right-shoulder, not \"" + text.value_or("") + "\"");
      }
    } else if (argument == "--scale") {
      auto text = value();
      if (!text) return fail("option --scale needs a value");
      double scale = 0;
      auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), scale);
      if (error != std::errc() || end != text->data() + text->size() || scale < 0.5 || scale > 4) {
        return fail("option --scale needs a number from 0.5 to 4, not \"" + *text + "\"");
      }
      options.scale = scale;
    } else {
      return fail("unknown option \"" + argument + "\"");
    }
    if (target) {
      auto text = value();
      if (!text || text->empty()) return fail("option " + argument + " needs a value");
      *target = *text;
    }
  }
  if (options.help) return {options, ""};
  if (options.ble && *options.ble != "sim" && *options.ble != "bluez") {
    return fail("option --ble takes sim or bluez, not \"" + *options.ble + "\"");
  }
  // Tours run in virtual time, which a real radio's replies cannot follow.
  if (options.ble == "bluez" && (options.tour || options.headless)) {
    return fail("--ble bluez runs in real time and is not used with tours");
  }
  if (options.backendUrl && options.backendUrl->rfind("https://", 0) != 0) {
    return fail("the backend must be reached over https; \"" + *options.backendUrl + "\" is not an https URL");
  }
  if (options.caFile && !options.backendUrl) return fail("--ca is only used together with --backend");
  if (options.window && options.headless) return fail("--window and --headless exclude each other");
  if (options.window && !options.tour) return fail("--window is only used together with --tour");
  if (options.compareWith && !options.window) return fail("--compare is only used together with --window");
  return {options, ""};
}

}  // namespace demo
