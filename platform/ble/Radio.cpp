#include "platform/ble/Radio.h"

#include "platform/ble/simulated/SimulatedRadio.h"

namespace platform::ble {
namespace {

std::shared_ptr<SimulatedRadio>& currentRadio() {
  static std::shared_ptr<SimulatedRadio> radio;
  return radio;
}

}  // namespace

std::shared_ptr<CentralManager> Radio::makeCentralManager(std::weak_ptr<CentralManagerDelegate> delegate,
                                                          CentralManagerOptions options) {
  auto backend = simulated()->makeCentralBackend(options);
  auto central = std::make_shared<CentralManager>(backend, options);
  central->setDelegate(std::move(delegate));
  backend->attach(central);
  return central;
}

std::shared_ptr<SimulatedRadio> Radio::useSimulatedRadio() {
  currentRadio() = SimulatedRadio::make();
  return currentRadio();
}

std::shared_ptr<SimulatedRadio> Radio::simulated() {
  if (!currentRadio()) currentRadio() = SimulatedRadio::make();
  return currentRadio();
}

}  // namespace platform::ble
