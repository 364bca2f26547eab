#include "platform/ble/Radio.h"

#include <cstdlib>

#include "platform/ble/bluez/BluezCentral.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "platform/foundation/ConsoleLog.h"

namespace platform::ble {
namespace {

std::shared_ptr<SimulatedRadio>& currentRadio() {
  static std::shared_ptr<SimulatedRadio> radio;
  return radio;
}

std::optional<RadioKind>& hostPick() {
  static std::optional<RadioKind> pick;
  return pick;
}

}  // namespace

std::optional<RadioKind> Radio::kindNamed(std::string_view name) {
  if (name == "sim") return RadioKind::simulated;
  if (name == "bluez") return RadioKind::bluez;
  return std::nullopt;
}

void Radio::useRadio(RadioKind kind) { hostPick() = kind; }

void Radio::resetForTesting() { hostPick().reset(); }

RadioKind Radio::kind() {
  if (hostPick()) return *hostPick();
  const char* name = std::getenv("LUMO_BLE");
  if (!name || !*name) return RadioKind::simulated;
  if (auto named = kindNamed(name)) return *named;
  foundation::ConsoleLog::write({"Radio: unknown LUMO_BLE \"", name, "\", using the simulated radio"});
  return RadioKind::simulated;
}

std::shared_ptr<CentralManager> Radio::makeCentralManager(std::weak_ptr<CentralManagerDelegate> delegate,
                                                          CentralManagerOptions options) {
  std::shared_ptr<CentralBackend> backend;
  if (kind() == RadioKind::bluez) {
    backend = std::make_shared<BluezCentral>(options);
  } else {
    backend = simulated()->makeCentralBackend(options);
  }
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
