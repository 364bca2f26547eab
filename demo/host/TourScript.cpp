#include "demo/host/TourScript.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace demo {

namespace {

using Kind = TourCommand::Kind;

std::string trim(const std::string& text) {
  auto begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  auto end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::optional<double> number(const std::string& text) {
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

const std::map<std::string, Kind>& commandNames() {
  static const std::map<std::string, Kind> names = {
      {"tap", Kind::tap},         {"tap-at", Kind::tapAt},         {"type", Kind::type},          {"clear", Kind::clear},
      {"hold", Kind::hold},       {"release", Kind::release},    {"drag-wheel", Kind::dragWheel},
      {"wait", Kind::wait},       {"expect", Kind::expect},      {"expect-not", Kind::expectNot},
      {"expect-speed", Kind::expectSpeed},
      {"screenshot", Kind::screenshot}, {"vehicle", Kind::vehicle}, {"recordings", Kind::recordings},
  };
  return names;
}

bool isPad(const std::string& name, bool allowWheel) {
  return name == "up" || name == "down" || name == "left" || name == "right" || (allowWheel && name == "wheel");
}

bool isVehicleVerb(const std::string& verb) {
  for (const char* known : {"take-over-remote", "take-over-on-site", "take-over-safety", "release-takeover",
                            "drop-link", "open-door", "close-door"}) {
    if (verb == known) return true;
  }
  return false;
}

bool isFileName(const std::string& name) {
  if (name.empty() || name.size() > 100 || name[0] == '.') return false;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '_' || c == '.';
    if (!plain) return false;
  }
  return true;
}

// Checks the argument of one command; the error text on failure.
std::optional<std::string> readArgument(TourCommand& command, const std::string& name, const std::string& rest) {
  switch (command.kind) {
    case Kind::tap:
    case Kind::type:
    case Kind::expect:
    case Kind::expectNot:
      if (rest.empty()) return name + " needs a text";
      command.text = rest;
      return std::nullopt;
    case Kind::clear:
      if (!rest.empty()) return "clear takes no argument";
      return std::nullopt;
    case Kind::expectSpeed: {
      std::istringstream words(rest);
      std::string low, high, extra;
      words >> low >> high >> extra;
      auto min = number(low), max = number(high);
      if (!min || !max || !extra.empty() || *min > *max) {
        return "expect-speed needs a lowest and a highest speed in m/s, not \"" + rest + "\"";
      }
      command.number = *min;
      command.number2 = *max;
      return std::nullopt;
    }
    case Kind::tapAt: {
      std::istringstream words(rest);
      std::string x, y, extra;
      words >> x >> y >> extra;
      auto px = number(x), py = number(y);
      if (!px || !py || !extra.empty() || *px < 0 || *py < 0 || *px > 2000 || *py > 2000) {
        return "tap-at needs two coordinates in points, not \"" + rest + "\"";
      }
      command.number = *px;
      command.number2 = *py;
      return std::nullopt;
    }
    case Kind::hold:
    case Kind::release:
      if (!isPad(rest, command.kind == Kind::release)) {
        return name + " needs a pad (up, down, left, right" + (command.kind == Kind::release ? ", wheel" : "") +
               "), not \"" + rest + "\"";
      }
      command.text = rest;
      return std::nullopt;
    case Kind::dragWheel: {
      auto degrees = number(rest);
      if (!degrees || std::fabs(*degrees) > 180) return "drag-wheel needs degrees from -180 to 180, not \"" + rest + "\"";
      command.number = *degrees;
      return std::nullopt;
    }
    case Kind::wait: {
      auto seconds = number(rest);
      if (!seconds || *seconds < 0 || *seconds > 600) return "wait needs seconds from 0 to 600, not \"" + rest + "\"";
      command.number = *seconds;
      return std::nullopt;
    }
    case Kind::recordings: {
      std::istringstream words(rest);
      std::string file, which, extra;
      words >> file >> which >> extra;
      if (!isFileName(file)) return "recordings needs a name of letters, digits, '-', '_' or '.', not \"" + file + "\"";
      auto index = which.empty() ? std::optional<double>(1) : number(which);
      if (!index || *index < 1 || *index > 20 || *index != std::floor(*index) || !extra.empty()) {
        return "recordings takes a name and which session, 1 (the newest) to 20, not \"" + rest + "\"";
      }
      command.text = file;
      command.number = *index;
      return std::nullopt;
    }
    case Kind::screenshot:
      if (!isFileName(rest)) return "screenshot needs a name of letters, digits, '-', '_' or '.', not \"" + rest + "\"";
      command.text = rest;
      return std::nullopt;
    case Kind::vehicle: {
      std::istringstream words(rest);
      std::string verb, argument, extra;
      words >> verb >> argument >> extra;
      if (verb == "lag") {
        auto millis = number(argument);
        if (!millis || *millis < 0 || *millis > 10000 || !extra.empty()) {
          return "vehicle lag needs milliseconds from 0 to 10000, not \"" + argument + "\"";
        }
        command.text = verb;
        command.number = *millis;
        return std::nullopt;
      }
      if (!isVehicleVerb(verb) || !argument.empty()) return "unknown vehicle event \"" + rest + "\"";
      command.text = verb;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

TourScript::Parsed TourScript::parse(const std::string& text, const std::string& name) {
  TourScript script;
  std::istringstream lines(text);
  std::string raw;
  int lineNumber = 0;
  while (std::getline(lines, raw)) {
    ++lineNumber;
    std::string line = trim(raw);
    if (line.empty() || line[0] == '#') continue;
    auto space = line.find_first_of(" \t");
    std::string word = line.substr(0, space);
    std::string rest = space == std::string::npos ? "" : trim(line.substr(space));
    auto known = commandNames().find(word);
    auto where = name + ":" + std::to_string(lineNumber) + ": ";
    if (known == commandNames().end()) return {std::nullopt, where + "unknown command \"" + word + "\""};
    TourCommand command;
    command.kind = known->second;
    command.line = lineNumber;
    if (auto error = readArgument(command, word, rest)) return {std::nullopt, where + *error};
    script.commands.push_back(std::move(command));
  }
  return {std::move(script), ""};
}

TourScript::Parsed TourScript::load(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {std::nullopt, path.string() + ": cannot read the tour file"};
  std::ostringstream text;
  text << file.rdbuf();
  return parse(text.str(), path.string());
}

}  // namespace demo
