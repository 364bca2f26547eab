#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace demo {

// One line of a tour.
struct TourCommand {
  enum class Kind {
    tap, tapAt, type, clear, hold, release, dragWheel, wait, expect, expectNot, expectSpeed, screenshot, vehicle,
    recordings
  };
  Kind kind = Kind::wait;
  int line = 0;
  std::string text;   // tap/type/expect: the text; screenshot, recordings: the name; vehicle: the verb; hold/release: the pad
  double number = 0;  // wait: seconds; drag-wheel: degrees; vehicle lag: milliseconds; tap-at: x;
                     // recordings: which session (1, the newest)
  double number2 = 0; // tap-at: y; expect-speed: the upper bound
};

// A scripted session: one command per line, "#" starts a comment.
//   tap TEXT            taps the view showing TEXT (label, button title or field text)
//   tap-at X Y          taps a point of the screen, in points (for buttons without text)
//   type TEXT           types into the focused text field; clear empties it
//   hold PAD            presses a direction pad (up, down, left, right) with its own finger
//   release PAD         lifts that finger (also: release wheel)
//   drag-wheel DEGREES  drags the steering wheel from its top by DEGREES (clockwise positive) and holds it
//   wait SECONDS        lets time pass
//   expect TEXT         fails the tour unless TEXT is on screen; expect-not TEXT the opposite
//   expect-speed MIN MAX  fails the tour unless the vehicle's speed (m/s) lies in MIN..MAX
//   screenshot NAME     writes NAME.png
//   recordings NAME [N] shows the recorded sessions with the report of the Nth newest chosen (1,
//                       the newest, by default) and writes NAME.png of them (fails without it)
//   vehicle VERB        something happens to the vehicle: take-over-remote, take-over-on-site,
//                       take-over-safety, release-takeover, drop-link, lag MS, open-door, close-door
struct TourScript {
  std::vector<TourCommand> commands;

  struct Parsed;
  static Parsed parse(const std::string& text, const std::string& name);
  static Parsed load(const std::filesystem::path& path);
};

struct TourScript::Parsed {
  std::optional<TourScript> script;
  std::string error;  // "FILE:LINE: what is wrong", when script is empty
};

}  // namespace demo
