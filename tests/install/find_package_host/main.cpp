// Registers with the development backend given as the first argument, trusting the
// certificate given as the second for it, and reports where the SDK found its resources.
// Exit 0 on success.
#include <cstdio>
#include <string>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/utils/ResourceUtil.h"
#include "platform/dispatch/MainLoop.h"

int main(int argc, char** argv) {
  if (argc != 3 || !lumo::LumoSdk::setDevelopmentBackend(argv[1], argv[2])) {
    std::fprintf(stderr, "usage: %s https://BACKEND CA.pem\n", argv[0]);
    return 2;
  }
  std::string outcome;
  lumo::LumoSdk::initSdk(
      "lumo-demo-app-key", "lumo-demo-token", lumo::LumoEnvironment::development, false,
      [&outcome] { outcome = "success"; }, [&outcome] { outcome = "authExpire"; },
      [&outcome](const std::string& message) { outcome = "error: " + message; });
  platform::dispatch::MainLoop::runUntil([&outcome] { return !outcome.empty(); }, std::chrono::seconds(60));
  std::printf("initSdk: %s\n", outcome.c_str());
  std::printf("config: %s\n", lumo::LumoSdk::getSdkConfig().c_str());
  auto image = lumo::ResourceUtil::loadResourceImage("vehicle_icon.png");
  std::printf("resources: %s (vehicle_icon %s)\n", lumo::ResourceUtil::bundleDirectory().c_str(),
              image ? "found" : "missing");
  bool ok = outcome == "success" && lumo::LumoSdk::isInitializedFunc() && image != nullptr;
  lumo::LumoSdk::deInit();
  return ok ? 0 : 1;
}
