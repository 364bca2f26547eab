#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lumosdk/LumoExport.h"

namespace lumo {

/// One recorded control session, as LumoSessionRecordings::list() describes it.
struct LumoSessionRecording {
  /// When the session started, in milliseconds since 1970-01-01 00:00 UTC.
  std::int64_t startTimeMs = 0;
  /// The VIN the page was opened for (empty when the page was made directly).
  std::string vin;
  /// The vehicle's backend id.
  std::int64_t vehicleId = 0;
  /// The vehicle's display name.
  std::string vehicleName;
  /// The name the vehicle advertises over Bluetooth.
  std::string bleName;
  /// Why the session ended, as a short code ("takeover", "delay", "silence", "inactive",
  /// "exit", "left", ...); "recording" while the session still runs; "cut short" when the
  /// recording stops before its end (the app was stopped during the session).
  std::string endReason;
  /// The message the user saw at the end; may be empty.
  std::string endText;
  /// The recording's MCAP file, readable by any MCAP tool.
  std::string filePath;
};

/// The flight recorder of the remote-control sessions. Each control session is recorded on
/// the phone in one MCAP file in the app's sandbox: the frames sent and received, the link's
/// states, the user's inputs and the dialogs shown. Recordings are never uploaded. At most 20
/// sessions or 50 MB are kept; the oldest go first. A session whose recording cannot be
/// written runs as without a recorder (one system-log line).
class LUMO_EXPORT LumoSessionRecordings {
 public:
  /// The recordings kept, newest first. Reads the files: any thread, preferably not the
  /// main thread when many long sessions are kept.
  static std::vector<LumoSessionRecording> list();
  /// Switches recording on (the default) or off for the sessions that start afterwards.
  /// Any thread.
  static void setEnabled(bool enabled);
  /// Whether sessions that start now are recorded.
  static bool isEnabled();

  LumoSessionRecordings() = delete;
};

}  // namespace lumo
