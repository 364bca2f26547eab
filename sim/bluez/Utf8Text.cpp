#include "sim/bluez/Utf8Text.h"

namespace sim::bluez {

std::string Utf8Text::repaired(const std::string& bytes) {
  static const std::string kReplacement = "\xEF\xBF\xBD";
  std::string out;
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  while (i < n) {
    unsigned char lead = at(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the first continuation byte
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // no overlong forms
      if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    }
    if (length == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    std::size_t good = 1;
    while (good < length && i + good < n) {
      unsigned char c = at(i + good);
      unsigned char min = good == 1 ? low : 0x80;
      unsigned char max = good == 1 ? high : 0xBF;
      if (c < min || c > max) break;
      ++good;
    }
    if (good == length) {
      out.append(bytes, i, length);
    } else {
      out += kReplacement;
    }
    i += good;
  }
  return out;
}

}  // namespace sim::bluez
