#include "lumosdk/recorder/McapReader.h"

#include <algorithm>
#include <cstdio>

#include "lumosdk/recorder/Crc32.h"
#include "lumosdk/recorder/McapFormat.h"
#include "platform/foundation/FileStore.h"

namespace lumo::recorder {

using mcap::Opcode;

namespace {

std::string hex32(std::uint32_t v) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08x", v);
  return text;
}

// Reads fields from a record body; any read past its end marks the reader bad and gives 0.
class FieldReader {
 public:
  explicit FieldReader(std::span<const std::uint8_t> body) : body_(body) {}

  std::uint64_t little(std::size_t bytes) {
    if (!take(bytes)) return 0;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) v |= std::uint64_t(body_[at_ - bytes + i]) << (8 * i);
    return v;
  }
  std::uint8_t u8() { return static_cast<std::uint8_t>(little(1)); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(little(2)); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(little(4)); }
  std::uint64_t u64() { return little(8); }
  std::string string() {
    const std::uint32_t size = u32();
    if (!take(size)) return {};
    return std::string(reinterpret_cast<const char*>(body_.data() + at_ - size), size);
  }
  std::string rest() {
    std::string s(reinterpret_cast<const char*>(body_.data() + at_), body_.size() - at_);
    at_ = body_.size();
    return s;
  }
  void skip(std::size_t bytes) { take(bytes); }
  bool ok() const { return ok_; }

 private:
  bool take(std::size_t bytes) {
    if (!ok_ || bytes > body_.size() - at_) {
      ok_ = false;
      return false;
    }
    at_ += bytes;
    return true;
  }
  std::span<const std::uint8_t> body_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

}  // namespace

McapRecordCursor::McapRecordCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {
  if (bytes_.size() < mcap::kMagic.size() ||
      !std::equal(mcap::kMagic.begin(), mcap::kMagic.end(), bytes_.begin())) {
    problem_ = McapProblem{0, "no MCAP magic at the start"};
    return;
  }
  position_ = mcap::kMagic.size();
}

std::optional<McapRecord> McapRecordCursor::next() {
  if (problem_ || atEnd()) return std::nullopt;
  const std::uint64_t left = bytes_.size() - position_;
  if (left < mcap::kRecordPrefixSize) {
    problem_ = McapProblem{position_, "cut inside a record's opcode and length (" + std::to_string(left) +
                                          " of 9 bytes)"};
    return std::nullopt;
  }
  FieldReader prefix(bytes_.subspan(position_, mcap::kRecordPrefixSize));
  const std::uint8_t opcode = prefix.u8();
  const std::uint64_t length = prefix.u64();
  if (length > left - mcap::kRecordPrefixSize) {
    problem_ = McapProblem{position_, "record of opcode " + std::to_string(opcode) + " cut: its body needs " +
                                          std::to_string(length) + " bytes, " +
                                          std::to_string(left - mcap::kRecordPrefixSize) + " remain"};
    return std::nullopt;
  }
  McapRecord record{opcode, position_, bytes_.subspan(position_ + mcap::kRecordPrefixSize, length)};
  position_ += mcap::kRecordPrefixSize + length;
  return record;
}

const McapChannelInfo* McapContents::channel(std::uint16_t id) const {
  for (const auto& c : channels)
    if (c.id == id) return &c;
  return nullptr;
}

const McapChannelInfo* McapContents::channelByTopic(const std::string& topic) const {
  for (const auto& c : channels)
    if (c.topic == topic) return &c;
  return nullptr;
}

McapContents McapReader::read(std::span<const std::uint8_t> bytes) {
  McapContents contents;
  McapRecordCursor cursor(bytes);
  auto stop = [&](std::uint64_t offset, std::string reason) {
    contents.problem = McapProblem{offset, std::move(reason)};
    return contents;
  };
  bool sawHeader = false, inSummary = false;
  std::uint64_t dataEnd = 0;
  while (auto record = cursor.next()) {
    const auto opcode = static_cast<Opcode>(record->opcode);
    FieldReader in(record->body);
    if (!sawHeader && opcode != Opcode::header) return stop(record->offset, "the first record is no header");
    if (opcode == Opcode::header) {
      if (sawHeader) return stop(record->offset, "a second header");
      sawHeader = true;
      contents.profile = in.string();
      contents.library = in.string();
    } else if (opcode == Opcode::schema) {
      McapSchemaInfo schema;
      schema.id = in.u16();
      schema.name = in.string();
      schema.encoding = in.string();
      schema.data = in.string();
      // The summary repeats the data section's schemas and channels.
      if (in.ok() && !inSummary) contents.schemas.push_back(std::move(schema));
    } else if (opcode == Opcode::channel) {
      McapChannelInfo channel;
      channel.id = in.u16();
      channel.schemaId = in.u16();
      channel.topic = in.string();
      channel.messageEncoding = in.string();
      in.skip(in.u32());
      if (in.ok() && !inSummary) {
        if (contents.channel(channel.id)) return stop(record->offset, "channel " + std::to_string(channel.id) + " announced twice");
        contents.channels.push_back(std::move(channel));
      }
    } else if (opcode == Opcode::message) {
      if (inSummary) return stop(record->offset, "a message after the data section's end");
      McapMessageInfo message;
      message.channelId = in.u16();
      message.sequence = in.u32();
      message.logTime = in.u64();
      message.publishTime = in.u64();
      if (in.ok() && !contents.channel(message.channelId))
        return stop(record->offset, "a message on channel " + std::to_string(message.channelId) +
                                        " that no channel record announced");
      message.data = in.ok() ? in.rest() : std::string();
      if (in.ok()) contents.messages.push_back(std::move(message));
    } else if (opcode == Opcode::statistics) {
      McapStatisticsInfo stats;
      stats.messageCount = in.u64();
      stats.schemaCount = in.u16();
      stats.channelCount = in.u32();
      in.skip(4 * 3);
      stats.messageStartTime = in.u64();
      stats.messageEndTime = in.u64();
      in.skip(in.u32());
      if (in.ok()) contents.statistics = stats;
    } else if (opcode == Opcode::dataEnd) {
      if (inSummary) return stop(record->offset, "a second data section end");
      const std::uint32_t stored = in.u32();
      const std::uint32_t computed = Crc32::of(bytes.data(), record->offset);
      if (in.ok() && stored != 0 && stored != computed)
        return stop(record->offset, "data section CRC " + hex32(computed) + " does not match the stored " +
                                        hex32(stored) + ": some record before this offset is damaged");
      inSummary = true;
      dataEnd = record->offset;
    } else if (opcode == Opcode::footer) {
      const std::uint64_t summaryStart = in.u64();
      const std::uint64_t summaryOffsetStart = in.u64();
      const std::uint32_t stored = in.u32();
      if (!in.ok()) return stop(record->offset, "footer too short");
      if (summaryStart != 0) {
        if (summaryStart < dataEnd || summaryStart > record->offset || summaryOffsetStart > record->offset ||
            (summaryOffsetStart != 0 && summaryOffsetStart < summaryStart))
          return stop(record->offset, "footer offsets point outside the summary");
        const std::uint64_t covered = record->offset + mcap::kRecordPrefixSize + 16 - summaryStart;
        const std::uint32_t computed = Crc32::of(bytes.data() + summaryStart, covered);
        if (stored != 0 && stored != computed)
          return stop(record->offset, "summary CRC " + hex32(computed) + " does not match the stored " +
                                          hex32(stored));
      }
      const std::uint64_t end = cursor.position();
      if (bytes.size() - end < mcap::kMagic.size() ||
          !std::equal(mcap::kMagic.begin(), mcap::kMagic.end(), bytes.begin() + end))
        return stop(end, "the closing magic is missing or cut");
      if (bytes.size() - end != mcap::kMagic.size()) return stop(end + 8, "bytes after the closing magic");
      if (!inSummary) return stop(record->offset, "footer without a data section end");
      contents.complete = true;
      return contents;
    }
    // Other records (chunks, indexes, attachments, metadata) carry nothing read here.
    if (!in.ok()) return stop(record->offset, "record of opcode " + std::to_string(record->opcode) +
                                                  " is shorter than its fields");
  }
  if (cursor.problem()) {
    contents.problem = cursor.problem();
  } else {
    contents.problem = McapProblem{cursor.position(), inSummary ? "cut in the summary: no footer"
                                                                : "cut short: no data section end"};
  }
  return contents;
}

McapContents McapReader::readFile(const std::filesystem::path& file, std::uint64_t maxBytes) {
  // Never through a link, never a device or a pipe, never more than the bound.
  auto whole = platform::foundation::filestore::readWhole(file, static_cast<std::size_t>(maxBytes));
  if (whole.status != platform::foundation::filestore::ReadStatus::ok) {
    McapContents contents;
    contents.problem = McapProblem{0, whole.status == platform::foundation::filestore::ReadStatus::missing
                                          ? std::string("no such file")
                                          : whole.error};
    return contents;
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(whole.contents.data());
  return read(std::span<const std::uint8_t>(data, whole.contents.size()));
}

}  // namespace lumo::recorder
