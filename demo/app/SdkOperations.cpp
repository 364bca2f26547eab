#include "demo/app/SdkOperations.h"

#include "lumosdk/LumoSdk.h"

namespace demo {

void SdkOperations::openControlPage(const std::string& vin) { lumo::LumoSdk::openControlPage(vin); }

void SdkOperations::openDetailPage(const std::string& vin) { lumo::LumoSdk::openDetailPage(vin); }

void SdkOperations::openCabinet(const std::string& vin) { lumo::LumoSdk::openCabinet(vin); }

}  // namespace demo
