#include "lumosdk/recorder/Crc32.h"

#include <array>

namespace lumo::recorder {
namespace {

constexpr std::array<std::uint32_t, 256> makeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr auto kTable = makeTable();

}  // namespace

void Crc32::update(const std::uint8_t* data, std::size_t size) {
  std::uint32_t c = state_;
  for (std::size_t i = 0; i < size; ++i) c = kTable[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
  state_ = c;
}

std::uint32_t Crc32::of(const std::uint8_t* data, std::size_t size) {
  Crc32 crc;
  crc.update(data, size);
  return crc.value();
}

}  // namespace lumo::recorder
