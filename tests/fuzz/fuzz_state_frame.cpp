// The vehicle's state frames as the codec meets them: a frame the checksum refuses changes no
// decoded state, and an accepted one sets exactly what its bytes say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "lumosdk/utils/ControlUtil.h"
#include "platform/foundation/ConsoleLog.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

struct Decoded {
  int driveMode;
  bool canControl;
  lumo::ControlUtil::SafetyWorkState safety;
  int delay;
  std::optional<int> rollingNum;
  bool operator==(const Decoded&) const = default;
};

Decoded decoded() {
  using lumo::ControlUtil;
  return {ControlUtil::getDriveMode(), ControlUtil::isCanControl(), ControlUtil::getSafetyWorkState(),
          ControlUtil::getDelay(), ControlUtil::getRollingNum()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using lumo::ControlUtil;
  static bool quiet = [] {
    platform::foundation::ConsoleLog::setSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  platform::Bytes frame(data, data + size);
  bool good = ControlUtil::checkData(frame);
  require(ControlUtil::checkData(frame) == good);  // no hidden state in the check
  Decoded before = decoded();
  ControlUtil::decodeState(frame);
  Decoded after = decoded();
  if (!good || size < 8) {
    require(after == before);
    return 0;
  }
  require(after.driveMode == frame[0]);
  require(after.canControl == ((frame[1] & 0x01) != 0));
  require(after.rollingNum == frame[6]);
  return 0;
}
