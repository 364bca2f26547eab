#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// Raw bytes as they cross the platform layer: Bluetooth values, frames, file contents.
using Bytes = std::vector<std::uint8_t>;

}  // namespace platform
