#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

namespace lumo::recorder::testing {

// Reads a recording with the format's reference reader (node.js and @mcap/core, installed by
// scripts/setup) and gives what it printed. On failure `error` says what is missing or what
// went wrong, so a test can fail with that message.
struct ReferenceReading {
  nlohmann::json result;
  std::string error;
};

ReferenceReading readWithReferenceReader(const std::filesystem::path& file);

}  // namespace lumo::recorder::testing
