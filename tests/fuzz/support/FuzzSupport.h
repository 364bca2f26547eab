#pragma once

#include <filesystem>
#include <string_view>

// What every fuzz target shares: a check that aborts (so libFuzzer keeps the input) and a
// quiet, private process (no console lines per input, a sandbox folder of its own).
namespace lumo::fuzz {

// Aborts with `what` on standard error when `condition` is false.
void require(bool condition, const char* what);

// Strict UTF-8 (RFC 3629: shortest forms only, no surrogates, nothing above U+10FFFF),
// written apart from the SDK's own check so that the two cannot share a mistake.
bool isUtf8(std::string_view text);

// Silences the console and system log and points the app sandbox at a fresh temporary
// folder; runs once per process, later calls return the same folder.
const std::filesystem::path& quietSandbox();

}  // namespace lumo::fuzz
