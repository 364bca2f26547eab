#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lumosdk/recorder/Crc32.h"
#include "platform/foundation/Bytes.h"

namespace lumo::recorder {

// Writes one MCAP file, record by record, to a sink: header, schemas and channels as they are
// added, one Message record per message (no chunks, so a file cut by a crash still reads up to
// its last whole record), and on close the data section's end, a summary (schemas, channels,
// statistics), the offsets of its groups, the footer with its CRC and the closing magic.
// Not thread-safe: one writer belongs to one thread or serial queue. After a sink refusal the
// writer is failed and writes nothing more.
class McapWriter {
 public:
  // Takes the bytes of whole records; false when they could not be stored.
  using Sink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

  explicit McapWriter(Sink sink);

  // The leading magic and the Header record.
  bool open(std::string_view profile, std::string_view library);
  // Ids count from 1; 0 means refused (not open, failed or closed).
  std::uint16_t addSchema(std::string_view name, std::string_view encoding, std::string_view data);
  std::uint16_t addChannel(std::uint16_t schemaId, std::string_view topic, std::string_view messageEncoding);
  // The channel's sequence counts from 1 in the order messages are written.
  bool writeMessage(std::uint16_t channelId, std::uint64_t logTime, std::uint64_t publishTime,
                    std::string_view data);
  // Ends the data section and writes the summary, footer and closing magic.
  bool close();

  bool failed() const { return state_ == State::failed; }
  bool isOpen() const { return state_ == State::open; }
  std::uint64_t bytesWritten() const { return offset_; }
  std::uint64_t messageCount() const { return messageCount_; }

 private:
  enum class State { fresh, open, closed, failed };
  struct SchemaEntry {
    std::string name, encoding, data;
  };
  struct ChannelEntry {
    std::uint16_t schemaId;
    std::string topic, messageEncoding;
    std::uint32_t sequence = 0;
    std::uint64_t messages = 0;
  };

  // Frames `body_` as a record of `opcode` and hands it to the sink.
  bool emit(std::uint8_t opcode, bool inDataSection);
  bool emitBytes(const platform::Bytes& bytes, bool inDataSection);
  void schemaBody(std::uint16_t id, const SchemaEntry& schema);
  void channelBody(std::uint16_t id, const ChannelEntry& channel);
  void statisticsBody();

  Sink sink_;
  State state_ = State::fresh;
  std::uint64_t offset_ = 0;
  Crc32 dataCrc_;
  platform::Bytes body_;
  platform::Bytes record_;
  std::vector<SchemaEntry> schemas_;
  std::vector<ChannelEntry> channels_;
  std::uint64_t messageCount_ = 0;
  std::uint64_t firstLogTime_ = 0;
  std::uint64_t lastLogTime_ = 0;
};

}  // namespace lumo::recorder
