// The vehicle's state frames as the phone meets them: notified values go through the link's
// filter (repeats, wrong lengths, bad checksums dropped) into the codec. The data listener
// hears exactly the frames a plain reading of the rules accepts, each decoded to what its
// bytes say; a refused frame changes no decoded state. Control frames built from any inputs
// decode back to the clamped inputs.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "platform/ble/Radio.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

using lumo::BluetoothUtil;
using lumo::ControlUtil;
using lumo::fuzz::require;
using platform::Bytes;
using platform::ble::Uuid;
using std::chrono::milliseconds;

struct Decoded {
  int driveMode;
  bool canControl;
  ControlUtil::SafetyWorkState safety;
  std::optional<int> rollingNum;
  bool operator==(const Decoded&) const = default;
};

Decoded decoded() {
  return {ControlUtil::getDriveMode(), ControlUtil::isCanControl(), ControlUtil::getSafetyWorkState(),
          ControlUtil::getRollingNum()};
}

// What a state frame's own bytes say.
Decoded expectedFrom(const Bytes& frame) {
  auto safety = frame[2] >> 4 == 0   ? ControlUtil::SafetyWorkState::disabled
                : frame[2] >> 4 == 1 ? ControlUtil::SafetyWorkState::enabled
                                     : ControlUtil::SafetyWorkState::unknown;
  return {frame[0], (frame[1] & 0x01) != 0, safety, frame[6]};
}

bool checksumHolds(const Bytes& frame) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 7; ++i) sum = static_cast<std::uint8_t>(sum + frame[i]);
  return frame[7] == static_cast<std::uint8_t>(~sum);
}

const Uuid kStateCharacteristic = Uuid::fromShort(0xFFE1);
const Uuid kControlCharacteristic = Uuid::fromShort(0xFFE2);
// Sent before every input: the filter then starts each input from the same last value.
const Bytes kSeparator(8, 0);

struct Vehicle {
  std::shared_ptr<platform::ble::SimulatedRadio> radio;
  std::shared_ptr<platform::ble::SimulatedPeripheral> peripheral;
  std::vector<Bytes> heard;
  std::vector<Decoded> decodedWhenHeard;
};

// One simulated vehicle, found and connected once per process.
Vehicle& vehicle() {
  static Vehicle* made = [] {
    lumo::fuzz::quietSandbox();
    platform::dispatch::Scheduler::useVirtualClock();
    auto* v = new Vehicle;
    v->radio = platform::ble::Radio::useSimulatedRadio();
    v->peripheral = std::make_shared<platform::ble::SimulatedPeripheral>("LUMO-FUZZ");
    v->peripheral->addService({Uuid::fromShort(0xFFE0),
                               {{kStateCharacteristic, platform::ble::property::notify, {}},
                                {kControlCharacteristic, platform::ble::property::writeWithoutResponse, {}}}});
    v->radio->addPeripheral(v->peripheral);
    BluetoothUtil::setOnDataListener([v](const Bytes& frame) {
      v->heard.push_back(frame);
      v->decodedWhenHeard.push_back(decoded());
    });
    require(BluetoothUtil::initialize(), "the link starts");
    BluetoothUtil::initWithSlaverDeviceName("LUMO-FUZZ", 1);
    require(
        platform::dispatch::MainLoop::runUntil([] { return BluetoothUtil::isConnected(); }, std::chrono::seconds(10)),
        "the link connects");
    platform::dispatch::MainLoop::runFor(milliseconds(100));  // subscriptions settle
    return v;
  }();
  return *made;
}

// A control frame read back: every field is the clamped input and the checksum is the sum.
void checkControlFrame(const std::uint8_t* bytes) {
  bool enableCmd = bytes[0] & 1, antiCollision = bytes[0] & 2;
  std::int64_t throttle = static_cast<std::int8_t>(bytes[1]) * 3;
  std::int64_t brake = static_cast<std::int8_t>(bytes[2]);
  std::int64_t angle = static_cast<std::int8_t>(bytes[3]) * 2;
  std::int64_t tick = (bytes[4] << 8) | bytes[5];
  Bytes frame = ControlUtil::encodeCmd(enableCmd, antiCollision, throttle, brake, angle, tick);
  require(frame.size() == 8, "a control frame is 8 bytes");
  require(frame[0] == ((enableCmd ? 1 : 0) | (antiCollision ? 2 : 0)), "flags");
  require(static_cast<std::int8_t>(frame[1]) == std::clamp<std::int64_t>(throttle, -30, 30), "throttle");
  require(frame[2] == std::clamp<std::int64_t>(brake, 0, 30), "brake");
  require(static_cast<std::int8_t>(frame[3]) == -std::clamp<std::int64_t>(angle, -100, 100), "steering");
  require(((frame[4] << 8) | frame[5]) == tick && frame[6] == 0, "tick");
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 7; ++i) sum = static_cast<std::uint8_t>(sum + frame[i]);
  require(frame[7] == sum, "a control frame carries the plain sum");
}

}  // namespace

// Input: a sequence of notified values, each one byte of length (high bit clear: 8 bytes;
// set: the low four bits) and its bytes. The first 6 bytes also make a control frame.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Vehicle& v = vehicle();
  if (size >= 6) checkControlFrame(data);

  ControlUtil::clearData();
  const Decoded start = decoded();
  require(v.peripheral->notify(kStateCharacteristic, kSeparator) == 1, "the link is up");
  platform::dispatch::MainLoop::runFor(milliseconds(1));
  v.heard.clear();
  v.decodedWhenHeard.clear();

  // The filter's rules, read plainly.
  Bytes last = kSeparator;
  std::vector<Bytes> accepted;
  std::size_t at = 0;
  while (at < size) {
    std::size_t length = (data[at] & 0x80) ? (data[at] & 0x0F) : 8;
    ++at;
    length = std::min(length, size - at);
    Bytes value(data + at, data + at + length);
    at += length;
    require(v.peripheral->notify(kStateCharacteristic, value) == 1, "the link stays up");
    bool good = ControlUtil::checkData(value);
    require(good == (value.size() >= 8 && checksumHolds(value)), "the checksum rule");
    if (value == last || value.size() != 8) continue;
    last = value;
    if (good) accepted.push_back(value);
  }
  platform::dispatch::MainLoop::runFor(milliseconds(1));

  require(v.heard == accepted, "the listener hears exactly the frames the rules accept");
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    require(v.decodedWhenHeard[i] == expectedFrom(accepted[i]), "an accepted frame sets what its bytes say");
  }
  require(decoded() == (accepted.empty() ? start : expectedFrom(accepted.back())),
          "refused frames change no decoded state");
  return 0;
}
