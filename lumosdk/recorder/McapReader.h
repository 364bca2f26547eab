#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "lumosdk/LumoExport.h"

namespace lumo::recorder {

// One record of an MCAP file as found: where it starts and its body (inside the read bytes).
struct McapRecord {
  std::uint8_t opcode = 0;
  std::uint64_t offset = 0;
  std::span<const std::uint8_t> body;
};

// Where reading stopped short of a whole, verified file, and why.
struct McapProblem {
  std::uint64_t offset = 0;
  std::string reason;
};

// Walks the records of MCAP bytes one by one: checks the leading magic, each record's length
// against what is left, and stops at the first record that does not fit, saying where. Never
// reads outside the bytes it was given.
class McapRecordCursor {
 public:
  explicit McapRecordCursor(std::span<const std::uint8_t> bytes);

  // The next whole record; nothing at the end of the bytes or at a problem (see problem()).
  std::optional<McapRecord> next();
  // Set once the cursor stopped on something other than the end of the bytes.
  const std::optional<McapProblem>& problem() const { return problem_; }
  // Offset of the first byte not yet taken as part of a whole record.
  std::uint64_t position() const { return position_; }
  bool atEnd() const { return position_ == bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
  std::optional<McapProblem> problem_;
};

struct McapSchemaInfo {
  std::uint16_t id = 0;
  std::string name, encoding, data;
};
struct McapChannelInfo {
  std::uint16_t id = 0, schemaId = 0;
  std::string topic, messageEncoding;
};
struct McapMessageInfo {
  std::uint16_t channelId = 0;
  std::uint32_t sequence = 0;
  std::uint64_t logTime = 0, publishTime = 0;
  std::string data;
};
struct McapStatisticsInfo {
  std::uint64_t messageCount = 0;
  std::uint16_t schemaCount = 0;
  std::uint32_t channelCount = 0;
  std::uint64_t messageStartTime = 0, messageEndTime = 0;
};

// What an MCAP file holds, as far as it is whole.
struct LUMO_EXPORT McapContents {
  std::string profile, library;
  std::vector<McapSchemaInfo> schemas;
  std::vector<McapChannelInfo> channels;
  std::vector<McapMessageInfo> messages;
  std::optional<McapStatisticsInfo> statistics;  // from the summary, when it was reached
  // The data section ended, the summary and footer were read, both CRCs matched (or were
  // left 0 by the writer) and the closing magic is in place.
  bool complete = false;
  // Set when reading stopped short: a cut, a damaged record or a CRC that does not match.
  std::optional<McapProblem> problem;

  const McapChannelInfo* channel(std::uint16_t id) const;
  const McapChannelInfo* channelByTopic(const std::string& topic) const;
};

// Reads the messages of an unchunked MCAP file and verifies its structure and CRCs. A cut or
// damaged file gives every message of the whole records before the damage, and the problem.
class LUMO_EXPORT McapReader {
 public:
  static McapContents read(std::span<const std::uint8_t> bytes);
  // Reads a regular file (never through a link) of at most `maxBytes`.
  static McapContents readFile(const std::filesystem::path& file, std::uint64_t maxBytes = 64ull << 20);

  McapReader() = delete;
};

}  // namespace lumo::recorder
