#include "tests/fuzz/support/FuzzSupport.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/SystemLog.h"

namespace lumo::fuzz {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::abort();
}

bool isUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    unsigned char lead = byte(i);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) return false;
      code = (code << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

const std::filesystem::path& quietSandbox() {
  // Never destroyed: the exit handler below still needs it.
  static const std::filesystem::path* root = [] {
    platform::foundation::ConsoleLog::setSink([](std::string_view) {});
    platform::foundation::SystemLog::setSink([](platform::foundation::SystemLog::Level, std::string_view) {});
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) require(false, "a temporary sandbox folder");
    setenv("LUMO_SANDBOX_DIR", pattern.c_str(), 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(*root, ignored);
    });
    return new std::filesystem::path(pattern);
  }();
  return *root;
}

}  // namespace lumo::fuzz
