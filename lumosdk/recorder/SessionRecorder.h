#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "lumosdk/recorder/SessionEvent.h"
#include "lumosdk/recorder/SessionFile.h"

namespace lumo::recorder {

// Records one control session. The main thread only copies each event into a preallocated
// buffer; the recorder's serial writer queue takes the buffer a quarter second after its last
// turn and writes its events to the session's file, so no disk work ever waits on the main
// thread, nor the main thread on a disk. A full buffer drops new events and counts them (the end message
// says how many). When the file cannot be made or written, the session goes on unrecorded,
// with one system-log line.
class SessionRecorder {
 public:
  // Events the buffer holds between two writer turns (a session makes about 14 a second).
  static constexpr std::size_t kCapacity = 2048;

  // Starts recording a session, or nothing when recording is switched off. Main thread.
  static std::shared_ptr<SessionRecorder> start(SessionStart start);
  // Ends the session with reason "left" when nothing ended it before.
  ~SessionRecorder();

  // Main thread. After end() they do nothing.
  void record(const SessionEvent& event);
  void recordUi(UiKind kind, UiAction action, std::string_view text);
  // The end message; then the file is completed and closed on the writer queue.
  void end(std::string_view reason, std::string_view text);
  bool hasEnded() const { return ended_; }

  // Recording on (the default) or off for the sessions that start afterwards.
  static void setEnabled(bool enabled);
  static bool isEnabled();
  // Recordings started and not yet closed on disk, for a host or test that waits for them.
  static int unfinishedCount();
  // The VIN a vehicle's page was last opened with, for the start message. Main thread.
  static void rememberVin(std::int64_t vehicleId, std::string vin);
  static std::string vinOf(std::int64_t vehicleId);

  struct Shared;
  explicit SessionRecorder(std::shared_ptr<Shared> shared);

 private:
  std::shared_ptr<Shared> shared_;
  bool ended_ = false;
};

}  // namespace lumo::recorder
