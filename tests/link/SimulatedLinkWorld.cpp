#include "platform/ble/simulated/SimulatedRadio.h"
#include "sim/vehicle/VehicleSimulator.h"
#include "tests/link/LinkWorld.h"

namespace lumo::test {

std::unique_ptr<LinkWorld> makeBluezLinkWorld(const std::string& vehicleName);

namespace {

using platform::ble::ManagerState;

class SimulatedLinkWorld final : public LinkWorld {
 public:
  explicit SimulatedLinkWorld(const std::string& vehicleName)
      : radio_(platform::ble::Radio::useSimulatedRadio()), vehicle_(radio_, vehicleName) {
    platform::ble::Radio::useRadio(platform::ble::RadioKind::simulated);
  }

  bool ready() const override { return true; }
  std::string problem() const override { return {}; }
  void dropLink() override { vehicle_.dropLink(); }
  void failNextConnect() override { radio_->simulateConnectionFailure(); }
  void setPowered(bool powered) override {
    radio_->setAdapterState(powered ? ManagerState::poweredOn : ManagerState::poweredOff);
  }
  void removeVehicle() override { radio_->removePeripheral(*vehicle_.peripheral()); }
  void loseStateCharacteristic() override { vehicle_.setSilent(true); }
  void loseBluetooth() override { radio_->setAdapterState(ManagerState::unsupported); }
  std::uint64_t acceptedFrames() override { return vehicle_.acceptedFrames(); }
  bool controlGranted() override { return vehicle_.hasControlGranted(); }

 private:
  std::shared_ptr<platform::ble::SimulatedRadio> radio_;
  sim::VehicleSimulator vehicle_;
};

}  // namespace

std::unique_ptr<LinkWorld> LinkWorld::make(platform::ble::RadioKind radio, const std::string& vehicleName) {
  if (radio == platform::ble::RadioKind::bluez) return makeBluezLinkWorld(vehicleName);
  return std::make_unique<SimulatedLinkWorld>(vehicleName);
}

}  // namespace lumo::test
