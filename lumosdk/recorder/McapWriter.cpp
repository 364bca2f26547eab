#include "lumosdk/recorder/McapWriter.h"

#include <algorithm>

#include "lumosdk/recorder/McapFormat.h"

namespace lumo::recorder {

using mcap::FieldWriter;
using mcap::Opcode;

namespace {
constexpr std::uint8_t op(Opcode o) { return static_cast<std::uint8_t>(o); }
}  // namespace

McapWriter::McapWriter(Sink sink) : sink_(std::move(sink)) {}

bool McapWriter::emitBytes(const platform::Bytes& bytes, bool inDataSection) {
  if (!sink_(bytes.data(), bytes.size())) {
    state_ = State::failed;
    return false;
  }
  if (inDataSection) dataCrc_.update(bytes.data(), bytes.size());
  offset_ += bytes.size();
  return true;
}

bool McapWriter::emit(std::uint8_t opcode, bool inDataSection) {
  record_.clear();
  FieldWriter out(record_);
  out.u8(opcode);
  out.u64(body_.size());
  out.raw(body_.data(), body_.size());
  return emitBytes(record_, inDataSection);
}

bool McapWriter::open(std::string_view profile, std::string_view library) {
  if (state_ != State::fresh) return false;
  if (!emitBytes(platform::Bytes(mcap::kMagic.begin(), mcap::kMagic.end()), true)) return false;
  body_.clear();
  FieldWriter out(body_);
  out.string(profile);
  out.string(library);
  if (!emit(op(Opcode::header), true)) return false;
  state_ = State::open;
  return true;
}

void McapWriter::schemaBody(std::uint16_t id, const SchemaEntry& schema) {
  body_.clear();
  FieldWriter out(body_);
  out.u16(id);
  out.string(schema.name);
  out.string(schema.encoding);
  out.string(schema.data);  // the same framing: uint32 length, then the bytes
}

void McapWriter::channelBody(std::uint16_t id, const ChannelEntry& channel) {
  body_.clear();
  FieldWriter out(body_);
  out.u16(id);
  out.u16(channel.schemaId);
  out.string(channel.topic);
  out.string(channel.messageEncoding);
  out.u32(0);  // no metadata: an empty map is its byte length, 0
}

std::uint16_t McapWriter::addSchema(std::string_view name, std::string_view encoding, std::string_view data) {
  if (state_ != State::open || schemas_.size() >= 0xFFFE) return 0;
  schemas_.push_back({std::string(name), std::string(encoding), std::string(data)});
  const auto id = static_cast<std::uint16_t>(schemas_.size());
  schemaBody(id, schemas_.back());
  return emit(op(Opcode::schema), true) ? id : 0;
}

std::uint16_t McapWriter::addChannel(std::uint16_t schemaId, std::string_view topic,
                                     std::string_view messageEncoding) {
  if (state_ != State::open || channels_.size() >= 0xFFFE || schemaId > schemas_.size()) return 0;
  channels_.push_back({schemaId, std::string(topic), std::string(messageEncoding)});
  const auto id = static_cast<std::uint16_t>(channels_.size());
  channelBody(id, channels_.back());
  return emit(op(Opcode::channel), true) ? id : 0;
}

bool McapWriter::writeMessage(std::uint16_t channelId, std::uint64_t logTime, std::uint64_t publishTime,
                              std::string_view data) {
  if (state_ != State::open || channelId == 0 || channelId > channels_.size()) return false;
  ChannelEntry& channel = channels_[channelId - 1];
  body_.clear();
  FieldWriter out(body_);
  out.u16(channelId);
  out.u32(channel.sequence + 1);
  out.u64(logTime);
  out.u64(publishTime);
  out.raw(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  if (!emit(op(Opcode::message), true)) return false;
  ++channel.sequence;
  ++channel.messages;
  firstLogTime_ = messageCount_ == 0 ? logTime : std::min(firstLogTime_, logTime);
  lastLogTime_ = messageCount_ == 0 ? logTime : std::max(lastLogTime_, logTime);
  ++messageCount_;
  return true;
}

void McapWriter::statisticsBody() {
  body_.clear();
  FieldWriter out(body_);
  out.u64(messageCount_);
  out.u16(static_cast<std::uint16_t>(schemas_.size()));
  out.u32(static_cast<std::uint32_t>(channels_.size()));
  out.u32(0);  // attachments
  out.u32(0);  // metadata
  out.u32(0);  // chunks
  out.u64(firstLogTime_);
  out.u64(lastLogTime_);
  std::uint32_t mapBytes = 0;
  for (const auto& channel : channels_) mapBytes += channel.messages > 0 ? 10 : 0;
  out.u32(mapBytes);
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    if (channels_[i].messages == 0) continue;
    out.u16(static_cast<std::uint16_t>(i + 1));
    out.u64(channels_[i].messages);
  }
}

bool McapWriter::close() {
  if (state_ != State::open) return false;
  body_.clear();
  FieldWriter(body_).u32(dataCrc_.value());
  if (!emit(op(Opcode::dataEnd), false)) return false;

  // From here every byte up to the footer's offsets goes into the summary CRC.
  Crc32 summaryCrc;
  struct Group {
    Opcode opcode;
    std::uint64_t start, length;
  };
  std::vector<Group> groups;
  const std::uint64_t summaryStart = offset_;
  auto emitSummary = [&](Opcode opcode) {
    if (!emit(op(opcode), false)) return false;
    summaryCrc.update(record_.data(), record_.size());
    return true;
  };
  auto group = [&](Opcode opcode, std::size_t count, const auto& body) {
    const std::uint64_t start = offset_;
    for (std::size_t i = 0; i < count; ++i) {
      body(i);
      if (!emitSummary(opcode)) return false;
    }
    if (count > 0) groups.push_back({opcode, start, offset_ - start});
    return true;
  };
  if (!group(Opcode::schema, schemas_.size(),
             [&](std::size_t i) { schemaBody(static_cast<std::uint16_t>(i + 1), schemas_[i]); }) ||
      !group(Opcode::channel, channels_.size(),
             [&](std::size_t i) { channelBody(static_cast<std::uint16_t>(i + 1), channels_[i]); }) ||
      !group(Opcode::statistics, 1, [&](std::size_t) { statisticsBody(); }))
    return false;

  const std::uint64_t summaryOffsetStart = offset_;
  for (const auto& g : groups) {
    body_.clear();
    FieldWriter out(body_);
    out.u8(op(g.opcode));
    out.u64(g.start);
    out.u64(g.length);
    if (!emitSummary(Opcode::summaryOffset)) return false;
  }

  // The footer's CRC covers its own opcode, length and both offsets, then the CRC follows.
  record_.clear();
  FieldWriter out(record_);
  out.u8(op(Opcode::footer));
  out.u64(8 + 8 + 4);
  out.u64(summaryStart);
  out.u64(summaryOffsetStart);
  summaryCrc.update(record_.data(), record_.size());
  out.u32(summaryCrc.value());
  out.raw(mcap::kMagic.data(), mcap::kMagic.size());
  if (!emitBytes(record_, false)) return false;
  state_ = State::closed;
  return true;
}

}  // namespace lumo::recorder
