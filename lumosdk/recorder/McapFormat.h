#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/foundation/Bytes.h"

// The pieces of the MCAP container shared by the writer and the reader: magic, record
// opcodes and little-endian field encoding.
namespace lumo::recorder::mcap {

// 0x89 "MCAP" major version '0' "\r\n": begins and ends every file.
inline constexpr std::array<std::uint8_t, 8> kMagic{0x89, 'M', 'C', 'A', 'P', '0', '\r', '\n'};
// A record is its opcode (1 byte) and the length of its body (8 bytes), then the body.
inline constexpr std::size_t kRecordPrefixSize = 9;

enum class Opcode : std::uint8_t {
  header = 0x01,
  footer = 0x02,
  schema = 0x03,
  channel = 0x04,
  message = 0x05,
  chunk = 0x06,
  messageIndex = 0x07,
  chunkIndex = 0x08,
  attachment = 0x09,
  attachmentIndex = 0x0A,
  statistics = 0x0B,
  metadata = 0x0C,
  metadataIndex = 0x0D,
  summaryOffset = 0x0E,
  dataEnd = 0x0F,
};

// Appends fields to a record body under construction.
class FieldWriter {
 public:
  explicit FieldWriter(platform::Bytes& out) : out_(out) {}

  void u8(std::uint8_t v) { out_.push_back(v); }
  void u16(std::uint16_t v) { little(v, 2); }
  void u32(std::uint32_t v) { little(v, 4); }
  void u64(std::uint64_t v) { little(v, 8); }
  // uint32 byte length, then the bytes.
  void string(std::string_view s) {
    u32(static_cast<std::uint32_t>(s.size()));
    out_.insert(out_.end(), s.begin(), s.end());
  }
  void raw(const std::uint8_t* data, std::size_t size) { out_.insert(out_.end(), data, data + size); }

 private:
  void little(std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  platform::Bytes& out_;
};

}  // namespace lumo::recorder::mcap
