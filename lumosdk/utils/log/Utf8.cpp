#include "lumosdk/utils/log/Utf8.h"

#include <cstdint>

namespace lumo::logging {
namespace {

// Decodes one code point at `i`; returns its length, or 0 for an invalid sequence.
std::size_t decode(std::string_view text, std::size_t i, char32_t& cp) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  std::uint8_t lead = byte(i);
  std::size_t length;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

bool extendsCluster(char32_t cp) {
  return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x0483 && cp <= 0x0489) || (cp >= 0x0591 && cp <= 0x05BD) ||
         (cp >= 0x0610 && cp <= 0x061A) || (cp >= 0x064B && cp <= 0x065F) || (cp >= 0x1AB0 && cp <= 0x1AFF) ||
         (cp >= 0x1DC0 && cp <= 0x1DFF) || (cp >= 0x20D0 && cp <= 0x20FF) || (cp >= 0x3099 && cp <= 0x309A) ||
         (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xFE20 && cp <= 0xFE2F) || cp == 0x200C || cp == 0x200D ||
         (cp >= 0x1F3FB && cp <= 0x1F3FF) || (cp >= 0xE0020 && cp <= 0xE007F) || (cp >= 0xE0100 && cp <= 0xE01EF);
}

bool isRegionalIndicator(char32_t cp) { return cp >= 0x1F1E6 && cp <= 0x1F1FF; }

}  // namespace

bool isValidUtf8(std::string_view text) {
  char32_t cp;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = decode(text, i, cp);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string sanitizeUtf8(std::string text) {
  if (isValidUtf8(text)) return text;
  std::string clean;
  clean.reserve(text.size() + 8);
  char32_t cp;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = decode(text, i, cp);
    if (length == 0) {
      clean += "\xEF\xBF\xBD";
      ++i;
    } else {
      clean.append(text, i, length);
      i += length;
    }
  }
  return clean;
}

std::string truncateCharacters(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;  // fewer bytes than the limit: fewer characters too
  std::size_t clusters = 0;
  char32_t previous = 0;
  bool previousJoins = false;
  bool pendingRegionalPair = false;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    std::size_t length = decode(text, i, cp);
    if (length == 0) {
      length = 1;
      cp = 0xFFFD;
    }
    bool startsCluster = true;
    if (i > 0) {
      if (previous == '\r' && cp == '\n') startsCluster = false;
      else if (extendsCluster(cp) || previousJoins) startsCluster = false;
      else if (isRegionalIndicator(cp) && pendingRegionalPair) startsCluster = false;
    }
    if (startsCluster) {
      if (clusters == limit) {
        text.resize(i);
        text += "...";
        return text;
      }
      ++clusters;
      pendingRegionalPair = isRegionalIndicator(cp);
    } else if (isRegionalIndicator(cp)) {
      pendingRegionalPair = false;
    }
    previousJoins = cp == 0x200D;
    previous = cp;
    i += length;
  }
  return text;
}

}  // namespace lumo::logging
