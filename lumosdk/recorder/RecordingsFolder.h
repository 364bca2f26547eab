#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lumo::recorder {

// The sandbox folder of the session recordings: their names, their order and their bounds.
// Its operations touch the disk: the writer queue and the host's listing call them, never a
// session's main-thread work.
class RecordingsFolder {
 public:
  static constexpr std::size_t kMaxSessions = 20;
  static constexpr std::uint64_t kMaxBytes = 50ull << 20;

  // <sandbox>/Library/Recordings; none without a sandbox.
  static std::optional<std::filesystem::path> path();
  // "session-20260101T000000Z-1.mcap" for the UTC second of `wallTimeMs` and number `n`.
  static std::string fileName(double wallTimeMs, int n);
  // The recordings there, newest first (regular files with a recording's name, never links).
  static std::vector<std::filesystem::path> files();
  // Removes the oldest recordings until at most kMaxSessions and kMaxBytes remain, never one
  // that is being written.
  static void prune();

  // A recording being written is never removed (writer queue).
  static void markWriting(const std::filesystem::path& file);
  static void unmarkWriting(const std::filesystem::path& file);
  static bool isWriting(const std::filesystem::path& file);

  RecordingsFolder() = delete;
};

}  // namespace lumo::recorder
