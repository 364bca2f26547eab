#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lumosdk/recorder/McapWriter.h"
#include "lumosdk/recorder/SessionEvent.h"

namespace lumo::recorder {

// What a recording's start message says about its session.
struct SessionStart {
  std::string vin;
  std::int64_t vehicleId = 0;
  std::string vehicleName;
  std::string bleName;
  double wallTimeMs = 0;
  std::int64_t monotonicNs = 0;
};

// The recording of one session on disk: a private file in the recordings folder, its MCAP
// channels, and each event turned into its JSON message. Lives on the recorder's writer queue;
// never touched by the main thread. Records reach the disk in batches, at each flush.
class SessionFile {
 public:
  // Stands in for write(2); tests make the disk run full with it.
  using WriteFunction = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

  explicit SessionFile(SessionStart start);
  ~SessionFile();

  // Creates the file and writes the header, the channels and the start message. On a refusal
  // (no sandbox, a folder or file that is not private, a full disk) says why in `failure`.
  bool open();
  void write(const SessionEvent& event, const std::vector<std::string>& texts);
  void writeEnd(std::int64_t monotonicNs, const std::string& reason, const std::string& text,
                std::uint64_t droppedEvents);
  // Hands the records written since the last flush to the disk.
  bool flush();
  // The summary and footer, then the file is closed.
  bool close();

  bool failed() const { return failed_; }
  const std::string& failure() const { return failure_; }
  const std::optional<std::filesystem::path>& path() const { return path_; }
  std::uint64_t bytesWritten() const { return writer_.bytesWritten(); }

  static void setWriteFunctionForTesting(WriteFunction write);

 private:
  bool fail(std::string why);
  void message(std::uint16_t channel, std::int64_t monotonicNs, const std::string& json);

  SessionStart start_;
  int fd_ = -1;
  bool failed_ = false;
  std::string failure_;
  std::optional<std::filesystem::path> path_;
  std::vector<std::uint8_t> buffer_;
  McapWriter writer_;
  std::int64_t lastSeq_ = 0;
  std::uint16_t session_ = 0, control_ = 0, state_ = 0, link_ = 0, input_ = 0, ui_ = 0;
};

}  // namespace lumo::recorder
