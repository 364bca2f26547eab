#pragma once

// Private text helpers of the logger: records must stay valid UTF-8 to be stored and uploaded
// as JSON, and long messages are cut at user-perceived character boundaries.

#include <cstddef>
#include <string>
#include <string_view>

namespace lumo::logging {

bool isValidUtf8(std::string_view text);
// Replaces every invalid byte sequence with U+FFFD; valid text comes back unchanged.
std::string sanitizeUtf8(std::string text);
// When `text` has more than `limit` characters (extended grapheme clusters, approximated:
// combining marks, joiners, variation selectors, emoji modifiers and tags, regional-indicator
// pairs and CR LF stay with their base), keeps the first `limit` and appends "...".
std::string truncateCharacters(std::string text, std::size_t limit);

}  // namespace lumo::logging
