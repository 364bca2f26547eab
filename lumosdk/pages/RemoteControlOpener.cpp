#include "lumosdk/pages/RemoteControlOpener.h"

#include "platform/foundation/ConsoleLog.h"

namespace lumo {

namespace {
std::function<void(const std::string&)>& opener() {
  static std::function<void(const std::string&)> installed;  // main thread only
  return installed;
}
}  // namespace

void openRemoteControl(const std::string& vin) {
  if (opener()) {
    opener()(vin);
    return;
  }
  platform::foundation::ConsoleLog::write("LUMOSDK: openControlPage 尚不可用，VIN: " + vin);
}

void setRemoteControlOpener(std::function<void(const std::string& vin)> opener_) { opener() = std::move(opener_); }

}  // namespace lumo
