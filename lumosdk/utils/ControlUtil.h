#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "lumosdk/LumoExport.h"
#include "platform/foundation/Bytes.h"

namespace lumo {

/// The codec of the remote-control protocol. It builds the 8-byte control frame sent to the
/// vehicle on every command tick, checks and decodes the 8-byte state frame the vehicle sends
/// back, keeps the latest decoded vehicle state for the whole process, and measures the
/// round-trip delay from the tick the vehicle echoes.
///
/// Control frame: flags (bit 0 enableCmd, bit 1 enableAntiCollision), throttle -30..30,
/// brake 0..30, negated steering -100..100, tick (16-bit big-endian), 0, plain 8-bit sum.
/// State frame: drive mode, control authority (bit 0), safety state (high nibble), two bytes
/// not read, low byte of the echoed tick, rolling number, one's complement of the 8-bit sum.
///
/// Never instantiated. Its callers live on the main thread; the state is nevertheless guarded
/// so that a host reading the getters from another thread cannot corrupt it.
class LUMO_EXPORT ControlUtil {
 public:
  /// The vehicle's safety function as its last state frame reported it (unknown before one).
  enum class SafetyWorkState { unknown, disabled, enabled };
  /// The case name, for log lines.
  static const char* safetyWorkStateName(SafetyWorkState state);

  /// Out-of-range values are clamped, never rejected. Records the send time of `tick`.
  static platform::Bytes encodeCmd(bool enableCmd, bool enableAntiCollision, std::int64_t throttle,
                                   std::int64_t brake, std::int64_t directionAngle, std::int64_t tick);
  /// True when `data` holds at least 8 bytes and byte 7 is the one's complement of the sum of
  /// bytes 0-6.
  static bool checkData(const platform::Bytes& data);
  /// Updates the decoded state and the delay from a good state frame; a short frame or one
  /// with a wrong checksum changes nothing.
  static void decodeState(const platform::Bytes& data);

  /// Whether the last good state frame granted this phone control authority.
  static bool isCanControl();
  /// How many times control went from withheld to granted in this process. A caller that
  /// sees it change knows control was granted anew, however briefly it was withdrawn between
  /// two of its looks.
  static std::uint64_t getGrantCount();
  /// The drive mode of the last good state frame (byte 0); -1 until a good frame arrived.
  static int getDriveMode();  // -1 until a good frame arrived
  /// The safety state of the last good state frame.
  static SafetyWorkState getSafetyWorkState();
  /// The round-trip delay of the last good state frame in milliseconds; -1 when unknown or
  /// abnormal.
  static int getDelay();  // milliseconds; -1 when unknown or abnormal
  /// The round trip of the last good state frame as measured, also when it lies beyond what
  /// getDelay reports (a very late echo); nothing when the echoed tick's send time is unknown.
  static std::optional<std::int64_t> getMeasuredDelay();
  /// The rolling number of the last good state frame; nothing before one.
  static std::optional<int> getRollingNum();
  /// Whether the delay is acceptable (below 500 ms; an unknown delay counts as acceptable).
  static bool checkDelay();

  /// Whether the safety function may be switched off in acceleration (true) or low-speed mode.
  static bool canDisableSafety(bool accelMode);
  /// Whether the safety function must stay on in acceleration mode (true at start).
  static bool isAccelerationSafetyRequired();
  /// Sets that policy; the control page reads it when the mode switches change.
  static void setAccelerationSafetyRequired(bool required);
  /// Whether the safety function must stay on in low-speed mode (false at start).
  static bool isLowSpeedSafetyRequired();
  /// Sets that policy.
  static void setLowSpeedSafetyRequired(bool required);

  /// Turns the console lines of decodeState ("ControlUtil: ...") on or off (off at start).
  static void setLoggingEnabled(bool enabled);
  /// Whether decodeState writes console lines.
  static bool isLoggingEnabled();

  /// Returns the decoded state and the send-time cache to their start values; logging and the
  /// policy flags stay as they are.
  static void clearData();
  /// clearData plus logging off and the policy flags at their start values.
  static void resetForTesting();
  /// How many send times are cached (tests).
  static std::size_t cachedSendTimeCountForTesting();
  /// The recorded send time (wall-clock milliseconds) under a cache key such as "ts_7".
  static std::optional<double> cachedSendTimeForTesting(const std::string& key);

  /// Never instantiated: all state is class-level.
  ControlUtil() = delete;
};

}  // namespace lumo
