#include "lumosdk/utils/ControlUtil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/ConsoleLog.h"

namespace lumo {
namespace {

constexpr std::size_t kFrameSize = 8;
constexpr std::size_t kMaxCachedSendTimes = 100;
constexpr double kSendTimeLifetimeMs = 5000.0;
constexpr std::int64_t kMaxDelayMs = 999;
constexpr int kAcceptableDelayMs = 500;
constexpr const char* kPrefix = "ControlUtil: ";

using SafetyWorkState = ControlUtil::SafetyWorkState;

struct CodecState {
  std::mutex mutex;
  bool enableLogging = false;
  int driveMode = -1;
  bool canControl = false;
  // Never cleared: it counts grants over the life of the process.
  std::uint64_t grantCount = 0;
  SafetyWorkState safetyWorkState = SafetyWorkState::unknown;
  int currentDelayMs = -1;
  // The round trip as measured, also when it is too long for currentDelayMs.
  std::optional<std::int64_t> measuredDelayMs;
  std::optional<int> rollingNum;
  bool accelerationSafetyRequired = true;
  bool lowSpeedSafetyRequired = false;
  // Send time (wall-clock ms) of each recent control frame under "ts_<low byte of tick>".
  // An ordered map, so that eviction among equal timestamps is the same on every run.
  std::map<std::string, double> cmdSendTsCache;

  void clearDecoded() {
    rollingNum.reset();
    canControl = false;
    safetyWorkState = SafetyWorkState::unknown;
    driveMode = -1;
    cmdSendTsCache.clear();
    currentDelayMs = -1;
    measuredDelayMs.reset();
  }
};

CodecState& codec() {
  static CodecState* state = new CodecState;  // outlives static destructors of its callers
  return *state;
}

// Console lines gathered under the lock and written after it is released, so a console
// sink can never run while the codec state is held.
class Lines {
 public:
  explicit Lines(bool enabled) : enabled_(enabled) {}
  bool enabled() const { return enabled_; }
  void add(std::string body) {
    if (enabled_) lines_.push_back(kPrefix + std::move(body));
  }
  void write() const {
    for (const std::string& line : lines_) platform::foundation::ConsoleLog::write(line);
  }

 private:
  bool enabled_;
  std::vector<std::string> lines_;
};

double nowMillis() { return platform::dispatch::Scheduler::clock().wallMillis(); }

// The platform's default date description: "2026-01-01 00:00:00 +0000" (UTC, whole seconds).
std::string describeDate(double wallMillis) {
  auto seconds = static_cast<std::time_t>(std::floor(wallMillis / 1000.0));
  std::tm parts{};
  if (::gmtime_r(&seconds, &parts) == nullptr) return "?";
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &parts);
  return text;
}

std::string hexByte(std::uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::uint8_t genChecksum(const std::uint8_t* data, std::size_t count) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
  return sum;
}

std::string cacheKey(std::int64_t tickLowByte) { return "ts_" + std::to_string(tickLowByte & 0xFF); }

void cleanCache(CodecState& state, double now) {
  std::erase_if(state.cmdSendTsCache,
                [now](const auto& entry) { return !(now - entry.second < kSendTimeLifetimeMs); });
}

void recordSendTime(CodecState& state, std::int64_t tick) {
  double now = nowMillis();
  cleanCache(state, now);
  if (state.cmdSendTsCache.size() >= kMaxCachedSendTimes) {
    auto oldest = std::min_element(state.cmdSendTsCache.begin(), state.cmdSendTsCache.end(),
                                   [](const auto& a, const auto& b) { return a.second < b.second; });
    state.cmdSendTsCache.erase(oldest);
  }
  state.cmdSendTsCache[cacheKey(tick)] = now;
}

bool checkDataLocked(const platform::Bytes& data, Lines& lines) {
  if (data.size() < kFrameSize) {
    lines.add("Data too short");
    return false;
  }
  std::uint8_t sum = genChecksum(data.data(), kFrameSize - 1);
  auto expected = static_cast<std::uint8_t>(~sum);
  if (lines.enabled()) {
    std::string dump;
    for (std::size_t i = 0; i < kFrameSize - 1; ++i) dump += hexByte(data[i]) + " ";
    lines.add("数据字节: " + dump);
    lines.add("checksum=" + hexByte(data[7]) + ", calcSum=" + hexByte(expected));
  }
  return data[7] == expected;
}

SafetyWorkState safetyFromByte(std::uint8_t value) {
  switch (value >> 4) {
    case 0: return SafetyWorkState::disabled;
    case 1: return SafetyWorkState::enabled;
    default: return SafetyWorkState::unknown;
  }
}

// Measures the delay of the echoed tick; -1 when it is unknown or implausible.
int measureDelay(CodecState& state, std::uint8_t echoedTick, Lines& lines) {
  double now = nowMillis();
  cleanCache(state, now);
  auto found = state.cmdSendTsCache.find(cacheKey(echoedTick));
  state.measuredDelayMs.reset();
  if (found == state.cmdSendTsCache.end()) {
    lines.add("未找到tick=" + std::to_string(echoedTick) + "对应的时间戳");
    return -1;
  }
  double sendTs = found->second;
  auto delay = static_cast<std::int64_t>(now - sendTs);  // truncates toward zero
  if (delay >= 0) state.measuredDelayMs = delay;
  if (delay < 0 || delay > kMaxDelayMs) {
    lines.add("延迟值异常 - delay=" + std::to_string(delay) + "ms");
    return -1;
  }
  if (lines.enabled()) {
    lines.add("延迟计算 - sendTs=" + describeDate(sendTs) + ", now=" + describeDate(now) +
              ", delay=" + std::to_string(delay) + "ms");
  }
  return static_cast<int>(delay);
}

}  // namespace

const char* ControlUtil::safetyWorkStateName(SafetyWorkState state) {
  switch (state) {
    case SafetyWorkState::unknown: return "unknown";
    case SafetyWorkState::disabled: return "disabled";
    case SafetyWorkState::enabled: return "enabled";
  }
  return "unknown";
}

platform::Bytes ControlUtil::encodeCmd(bool enableCmd, bool enableAntiCollision, std::int64_t throttle,
                                       std::int64_t brake, std::int64_t directionAngle, std::int64_t tick) {
  platform::Bytes frame(kFrameSize, 0);
  frame[0] = static_cast<std::uint8_t>((enableCmd ? 1 : 0) | (enableAntiCollision ? 2 : 0));
  frame[1] = static_cast<std::uint8_t>(static_cast<std::int8_t>(std::clamp<std::int64_t>(throttle, -30, 30)));
  frame[2] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(brake, 0, 30));
  frame[3] = static_cast<std::uint8_t>(
      static_cast<std::int8_t>(-std::clamp<std::int64_t>(directionAngle, -100, 100)));
  frame[4] = static_cast<std::uint8_t>((tick >> 8) & 0xFF);
  frame[5] = static_cast<std::uint8_t>(tick & 0xFF);
  {
    CodecState& state = codec();
    std::lock_guard lock(state.mutex);
    recordSendTime(state, tick);
  }
  frame[6] = 0;
  frame[7] = genChecksum(frame.data(), kFrameSize - 1);
  return frame;
}

bool ControlUtil::checkData(const platform::Bytes& data) {
  Lines lines(isLoggingEnabled());
  bool good = checkDataLocked(data, lines);
  lines.write();
  return good;
}

void ControlUtil::decodeState(const platform::Bytes& data) {
  CodecState& state = codec();
  std::unique_lock lock(state.mutex);
  Lines lines(state.enableLogging);
  if (data.size() < kFrameSize) {
    lines.add("Data too short");
  } else if (!checkDataLocked(data, lines)) {
    lines.add("Checksum error");
  } else {
    state.driveMode = data[0];
    bool granted = (data[1] & 0x01) != 0;
    if (granted && !state.canControl) ++state.grantCount;
    state.canControl = granted;
    state.safetyWorkState = safetyFromByte(data[2]);
    std::uint8_t echoedTick = data[5];
    lines.add("计算延迟 - tick=" + std::to_string(echoedTick));
    state.currentDelayMs = measureDelay(state, echoedTick, lines);
    state.rollingNum = data[6];
    if (lines.enabled()) {
      lines.add("解码状态 - driveMode=" + std::to_string(state.driveMode) +
                ", canControl=" + (state.canControl ? "true" : "false") +
                ", safetyWorkState=" + safetyWorkStateName(state.safetyWorkState) +
                ", delay=" + std::to_string(state.currentDelayMs) +
                "ms, rollingNum=" + std::to_string(state.rollingNum.value_or(-1)));
    }
  }
  lock.unlock();
  lines.write();
}

bool ControlUtil::isCanControl() {
  std::lock_guard lock(codec().mutex);
  return codec().canControl;
}

std::uint64_t ControlUtil::getGrantCount() {
  std::lock_guard lock(codec().mutex);
  return codec().grantCount;
}

int ControlUtil::getDriveMode() {
  std::lock_guard lock(codec().mutex);
  return codec().driveMode;
}

ControlUtil::SafetyWorkState ControlUtil::getSafetyWorkState() {
  std::lock_guard lock(codec().mutex);
  return codec().safetyWorkState;
}

int ControlUtil::getDelay() {
  std::lock_guard lock(codec().mutex);
  return codec().currentDelayMs;
}

std::optional<int> ControlUtil::getRollingNum() {
  std::lock_guard lock(codec().mutex);
  return codec().rollingNum;
}

std::optional<std::int64_t> ControlUtil::getMeasuredDelay() {
  std::lock_guard lock(codec().mutex);
  return codec().measuredDelayMs;
}

bool ControlUtil::checkDelay() { return getDelay() < kAcceptableDelayMs; }

bool ControlUtil::canDisableSafety(bool accelMode) {
  std::lock_guard lock(codec().mutex);
  const CodecState& state = codec();
  return !((accelMode && state.accelerationSafetyRequired) || (!accelMode && state.lowSpeedSafetyRequired));
}

bool ControlUtil::isAccelerationSafetyRequired() {
  std::lock_guard lock(codec().mutex);
  return codec().accelerationSafetyRequired;
}

void ControlUtil::setAccelerationSafetyRequired(bool required) {
  std::lock_guard lock(codec().mutex);
  codec().accelerationSafetyRequired = required;
}

bool ControlUtil::isLowSpeedSafetyRequired() {
  std::lock_guard lock(codec().mutex);
  return codec().lowSpeedSafetyRequired;
}

void ControlUtil::setLowSpeedSafetyRequired(bool required) {
  std::lock_guard lock(codec().mutex);
  codec().lowSpeedSafetyRequired = required;
}

void ControlUtil::setLoggingEnabled(bool enabled) {
  std::lock_guard lock(codec().mutex);
  codec().enableLogging = enabled;
}

bool ControlUtil::isLoggingEnabled() {
  std::lock_guard lock(codec().mutex);
  return codec().enableLogging;
}

void ControlUtil::clearData() {
  std::lock_guard lock(codec().mutex);
  codec().clearDecoded();
}

void ControlUtil::resetForTesting() {
  std::lock_guard lock(codec().mutex);
  CodecState& state = codec();
  state.clearDecoded();
  state.enableLogging = false;
  state.accelerationSafetyRequired = true;
  state.lowSpeedSafetyRequired = false;
}

std::size_t ControlUtil::cachedSendTimeCountForTesting() {
  std::lock_guard lock(codec().mutex);
  return codec().cmdSendTsCache.size();
}

std::optional<double> ControlUtil::cachedSendTimeForTesting(const std::string& key) {
  std::lock_guard lock(codec().mutex);
  auto found = codec().cmdSendTsCache.find(key);
  if (found == codec().cmdSendTsCache.end()) return std::nullopt;
  return found->second;
}

}  // namespace lumo
