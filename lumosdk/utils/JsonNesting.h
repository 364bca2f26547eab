#pragma once

#include <cstddef>
#include <string_view>

namespace lumo {

// How deep objects and arrays nest in JSON text, found over the raw bytes before any parser
// builds a tree: the JSON library walks and copies trees recursively, so a hostile answer
// nested tens of thousands deep would overflow the stack long after parsing succeeded.
class JsonNesting {
 public:
  // Deeper than any answer of the backend's (its envelopes nest five levels at most).
  static constexpr std::size_t kMaxDepth = 32;

  // Whether `text` opens more than `limit` objects or arrays inside each other. Brackets in
  // strings do not count; text that is no JSON at all is left to the parser to refuse.
  static bool exceeds(std::string_view text, std::size_t limit = kMaxDepth);
};

}  // namespace lumo
