#pragma once

#include <cstddef>
#include <cstdint>

namespace lumo::recorder {

// CRC-32 (ISO-HDLC, reflected polynomial 0xEDB88320), the checksum a recording's readers
// verify. Feed it in pieces: the state carries over between calls.
class Crc32 {
 public:
  void update(const std::uint8_t* data, std::size_t size);
  std::uint32_t value() const { return ~state_; }
  void reset() { state_ = 0xFFFFFFFFu; }

  static std::uint32_t of(const std::uint8_t* data, std::size_t size);

 private:
  std::uint32_t state_ = 0xFFFFFFFFu;
};

}  // namespace lumo::recorder
