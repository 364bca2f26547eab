#include "demo/app/SdkOperations.h"

#include "lumosdk/LumoSdk.h"
#include "platform/foundation/ConsoleLog.h"

namespace demo {

void SdkOperations::openControlPage(const std::string& vin) { lumo::LumoSdk::openControlPage(vin); }

// The SDK in this build does not offer these operations yet; the buttons say so instead of
// doing nothing.

void SdkOperations::openDetailPage(const std::string& vin) {
  platform::foundation::ConsoleLog::write("lumodemo: openDetailPage(" + vin + ") is not in this SDK build");
}

void SdkOperations::openCabinet(const std::string& vin) {
  platform::foundation::ConsoleLog::write("lumodemo: openCabinet(" + vin + ") is not in this SDK build");
}

}  // namespace demo
