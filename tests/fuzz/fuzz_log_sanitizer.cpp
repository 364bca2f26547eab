// The logger's text guard: whatever bytes a caller logs, what is stored and uploaded is valid
// UTF-8, no longer than the limit allows, and text that was already valid and short comes
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lumosdk/utils/log/Utf8.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

// Each check names itself when it fails.
void require(bool condition) { lumo::fuzz::require(condition, "see the line in the stack trace"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lumo::logging;
  if (size == 0) return 0;
  // The first byte picks the character limit, the rest is the message.
  std::size_t limit = data[0] % 64;
  std::string input(reinterpret_cast<const char*>(data + 1), size - 1);

  std::string clean = sanitizeUtf8(input);
  require(lumo::fuzz::isUtf8(clean));
  if (lumo::fuzz::isUtf8(input)) require(clean == input);
  require(sanitizeUtf8(clean) == clean);  // idempotent
  // Each invalid byte becomes at most one U+FFFD (three bytes).
  require(clean.size() <= 3 * input.size());

  std::string cut = truncateCharacters(clean, limit);
  require(lumo::fuzz::isUtf8(cut));
  if (cut != clean) {
    require(cut.size() >= 3 && cut.compare(cut.size() - 3, 3, "...") == 0);
    std::string kept = cut.substr(0, cut.size() - 3);
    require(kept.size() < clean.size() && clean.compare(0, kept.size(), kept) == 0);
    // Cutting again at the same limit keeps what was kept.
    require(truncateCharacters(kept, limit) == kept);
  }
  return 0;
}
