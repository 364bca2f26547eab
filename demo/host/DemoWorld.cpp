#include "demo/host/DemoWorld.h"

#include "lumosdk/LumoSdk.h"
#include "platform/ble/Radio.h"

namespace demo {

DemoWorld::Started DemoWorld::startEmbedded() {
  std::unique_ptr<DemoWorld> world(new DemoWorld);
  world->backend_ = sim::BackendSimulator::start();
  if (!world->backend_) return {nullptr, "cannot start the embedded backend on 127.0.0.1"};
  world->backend_->seedDemoWorld();
  if (!world->pointSdkAt(world->backend_->baseUrl(), world->backend_->certificatePath().string())) {
    return {nullptr, "cannot trust the embedded backend's certificate " + world->backend_->certificatePath().string()};
  }
  world->addVehicle();
  return {std::move(world), ""};
}

DemoWorld::Started DemoWorld::connectTo(const std::string& backendUrl, const std::optional<std::string>& caFile) {
  if (backendUrl.rfind("https://", 0) != 0 || backendUrl.size() <= 8) {
    return {nullptr, "the backend URL must start with https:// (got \"" + backendUrl + "\")"};
  }
  std::unique_ptr<DemoWorld> world(new DemoWorld);
  if (!world->pointSdkAt(backendUrl, caFile.value_or(std::string()))) {
    return {nullptr, "cannot read a PEM certificate from " + caFile.value_or(std::string())};
  }
  world->addVehicle();
  return {std::move(world), ""};
}

DemoWorld::~DemoWorld() {
  vehicle_.reset();
  backend_.reset();
}

void DemoWorld::addVehicle() {
  vehicle_ = std::make_unique<sim::VehicleSimulator>(platform::ble::Radio::simulated(),
                                                     std::string(sim::BackendSimulator::kDemoBleName));
}

bool DemoWorld::pointSdkAt(std::string baseUrl, const std::string& caFile) {
  // The CA is trusted for this backend's host only, as any host names its development backend.
  if (!lumo::LumoSdk::setDevelopmentBackend(baseUrl, caFile)) return false;
  while (!baseUrl.empty() && baseUrl.back() == '/') baseUrl.pop_back();
  baseUrl_ = baseUrl;
  return true;
}

}  // namespace demo
