#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "tools/session_report/SessionTrace.h"

namespace lumo::recorder {
struct McapContents;
}

namespace report {

// Turns a session recording (MCAP, one JSON message per record) into its trace. A cut or
// damaged file gives what its whole records hold and says where and why it stops; a message
// that is whole but not understood is skipped with a line saying so.
class RecordingReader {
 public:
  // Recordings are bounded by the recorder well below this.
  static constexpr std::uint64_t kMaxFileBytes = 256ull << 20;

  static SessionTrace read(const lumo::recorder::McapContents& contents);
  static SessionTrace read(std::span<const std::uint8_t> bytes);
  static SessionTrace readFile(const std::filesystem::path& file);

  RecordingReader() = delete;
};

}  // namespace report
