// A host built with the compiler and pkg-config alone: the headers must compile and the
// libraries link and load.
#include <cstdio>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/pages/LumoDetailPage.h"
#include "lumosdk/utils/ContextUtil.h"

int main() {
  lumo::LumoSdk::openDetailPage("VIN");  // refused: not initialised
  std::printf("lumosdk %s, initialised: %d, top controller: %d\n", lumo::LumoSdk::lumo_version,
              lumo::LumoSdk::isInitializedFunc(), lumo::ContextUtil::getTopViewController() != nullptr);
  return lumo::LumoSdk::isInitializedFunc() ? 1 : 0;
}
