#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "lumosdk/LumoExport.h"
#include "platform/foundation/Bytes.h"

namespace lumo {

// The codec of the remote-control protocol. It builds the 8-byte control frame sent to the
// vehicle on every command tick, checks and decodes the 8-byte state frame the vehicle sends
// back, keeps the latest decoded vehicle state for the whole process, and measures the
// round-trip delay from the tick the vehicle echoes.
//
// Control frame: flags (bit 0 enableCmd, bit 1 enableAntiCollision), throttle -30..30,
// brake 0..30, negated steering -100..100, tick (16-bit big-endian), 0, plain 8-bit sum.
// State frame: drive mode, control authority (bit 0), safety state (high nibble), two bytes
// not read, low byte of the echoed tick, rolling number, one's complement of the 8-bit sum.
//
// Never instantiated. Its callers live on the main thread; the state is nevertheless guarded
// so that a host reading the getters from another thread cannot corrupt it.
class LUMO_EXPORT ControlUtil {
 public:
  enum class SafetyWorkState { unknown, disabled, enabled };
  static const char* safetyWorkStateName(SafetyWorkState state);

  // Out-of-range values are clamped, never rejected. Records the send time of `tick`.
  static platform::Bytes encodeCmd(bool enableCmd, bool enableAntiCollision, std::int64_t throttle,
                                   std::int64_t brake, std::int64_t directionAngle, std::int64_t tick);
  // True when `data` holds at least 8 bytes and byte 7 is the one's complement of the sum of
  // bytes 0-6.
  static bool checkData(const platform::Bytes& data);
  // Updates the decoded state and the delay from a good state frame; a short frame or one
  // with a wrong checksum changes nothing.
  static void decodeState(const platform::Bytes& data);

  static bool isCanControl();
  // How many times control went from withheld to granted in this process. A caller that
  // sees it change knows control was granted anew, however briefly it was withdrawn between
  // two of its looks.
  static std::uint64_t getGrantCount();
  static int getDriveMode();  // -1 until a good frame arrived
  static SafetyWorkState getSafetyWorkState();
  static int getDelay();  // milliseconds; -1 when unknown or abnormal
  // The round trip of the last good state frame as measured, also when it lies beyond what
  // getDelay reports (a very late echo); nothing when the echoed tick's send time is unknown.
  static std::optional<std::int64_t> getMeasuredDelay();
  static std::optional<int> getRollingNum();
  // Whether the delay is acceptable (below 500 ms; an unknown delay counts as acceptable).
  static bool checkDelay();

  // Whether the safety function may be switched off in acceleration (true) or low-speed mode.
  static bool canDisableSafety(bool accelMode);
  static bool isAccelerationSafetyRequired();
  static void setAccelerationSafetyRequired(bool required);
  static bool isLowSpeedSafetyRequired();
  static void setLowSpeedSafetyRequired(bool required);

  static void setLoggingEnabled(bool enabled);
  static bool isLoggingEnabled();

  // Returns the decoded state and the send-time cache to their start values; logging and the
  // policy flags stay as they are.
  static void clearData();
  // clearData plus logging off and the policy flags at their start values.
  static void resetForTesting();
  static std::size_t cachedSendTimeCountForTesting();
  // The recorded send time (wall-clock milliseconds) under a cache key such as "ts_7".
  static std::optional<double> cachedSendTimeForTesting(const std::string& key);

  ControlUtil() = delete;
};

}  // namespace lumo
