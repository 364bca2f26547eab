#pragma once

#include <cstdint>
#include <vector>

#include "tools/session_report/SessionTrace.h"

namespace report::test {

// A trace written as the recorder lays out a session: the MCAP writer, one JSON message per
// record on the session's channels, in time order.
struct RecordingFile {
  std::vector<std::uint8_t> bytes;
  // Where the last message record starts and ends.
  std::uint64_t lastMessageStart = 0;
  std::uint64_t lastMessageEnd = 0;
  std::uint64_t messages = 0;

  // `close`: false leaves the file as a crash would, ending after its last message.
  static RecordingFile write(const SessionTrace& trace, bool close = true);
};

}  // namespace report::test
