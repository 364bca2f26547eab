#include "tests/recorder/ReferenceReader.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

namespace lumo::recorder::testing {

ReferenceReading readWithReferenceReader(const std::filesystem::path& file) {
  const std::filesystem::path folder = LUMO_RECORDING_READER_DIR;
  const std::filesystem::path script = folder / "read-recording.js";
  std::error_code ec;
  if (!std::filesystem::exists(folder / "node_modules" / "@mcap" / "core" / "package.json", ec))
    return {{}, "the reference reader @mcap/core is not installed in " + folder.string() +
                    ": run scripts/setup"};
  std::string node;
  for (const char* candidate : {"/usr/bin/node", "/usr/bin/nodejs", "/usr/local/bin/node"})
    if (std::filesystem::exists(candidate, ec)) {
      node = candidate;
      break;
    }
  if (node.empty()) return {{}, "node.js is not installed: run scripts/setup"};

  auto quoted = [](const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  const std::string command = quoted(node) + " " + quoted(script.string()) + " " + quoted(file.string());
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {{}, "could not start " + command};
  std::string output;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return {{}, "the reference reader failed (status " + std::to_string(status) + ") on " + file.string()};
  ReferenceReading reading;
  reading.result = nlohmann::json::parse(output, nullptr, false);
  if (reading.result.is_discarded()) reading.error = "the reference reader printed no JSON: " + output;
  return reading;
}

}  // namespace lumo::recorder::testing
