#pragma once

#include <string>

namespace sim::bluez {

class Utf8Text {
 public:
  // `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD (one per maximal
  // ill-formed subpart), so raw radio bytes can travel as a D-Bus string.
  static std::string repaired(const std::string& bytes);
};

}  // namespace sim::bluez
