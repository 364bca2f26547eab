#include "demo/host/DemoWorld.h"

#include <stdlib.h>

#include "platform/ble/Radio.h"
#include "platform/net/TrustStore.h"

namespace demo {

DemoWorld::Started DemoWorld::startEmbedded() {
  std::unique_ptr<DemoWorld> world(new DemoWorld);
  world->backend_ = sim::BackendSimulator::start();
  if (!world->backend_) return {nullptr, "cannot start the embedded backend on 127.0.0.1"};
  world->backend_->seedDemoWorld();
  if (!world->backend_->trustInPlatform()) {
    return {nullptr, "cannot add the embedded backend's certificate " + world->backend_->certificatePath().string() +
                         " to the trust store"};
  }
  world->pointSdkAt(world->backend_->baseUrl());
  world->addVehicle();
  return {std::move(world), ""};
}

DemoWorld::Started DemoWorld::connectTo(const std::string& backendUrl, const std::optional<std::string>& caFile) {
  if (backendUrl.rfind("https://", 0) != 0 || backendUrl.size() <= 8) {
    return {nullptr, "the backend URL must start with https:// (got \"" + backendUrl + "\")"};
  }
  if (caFile && !platform::net::TrustStore::addTrustedCertificateFile(*caFile)) {
    return {nullptr, "cannot read a PEM certificate from " + *caFile};
  }
  std::unique_ptr<DemoWorld> world(new DemoWorld);
  world->pointSdkAt(backendUrl);
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

void DemoWorld::pointSdkAt(std::string baseUrl) {
  while (!baseUrl.empty() && baseUrl.back() == '/') baseUrl.pop_back();
  baseUrl_ = baseUrl;
  // The SDK's development environment reads its base URL from here at every request.
  ::setenv("LUMO_DEV_BASE_URL", baseUrl_.c_str(), 1);
}

}  // namespace demo
