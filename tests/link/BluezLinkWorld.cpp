#include "sim/vehicle/VehicleSimulator.h"
#include "tests/link/LinkWorld.h"
#include "tests/support/bluez/BluezWorld.h"

namespace lumo::test {

namespace {

// The vehicle as a GATT device of the mocked BlueZ on a private bus, the SDK on the BlueZ
// back-end. Real processes, real time.
class BluezLinkWorld final : public LinkWorld {
 public:
  explicit BluezLinkWorld(const std::string& vehicleName) : world_(options(vehicleName)) {
    platform::ble::Radio::useRadio(platform::ble::RadioKind::bluez);
  }

  bool ready() const override { return world_.ready(); }
  std::string problem() const override { return world_.error(); }
  void dropLink() override { world_.dropLink(); }
  void failNextConnect() override { world_.failNextConnects(1); }
  void setPowered(bool powered) override { world_.setPowered(powered); }
  void removeVehicle() override { world_.removeDevice(); }
  void loseStateCharacteristic() override { world_.removeCharacteristic(sim::VehicleSimulator::stateCharacteristic()); }
  void loseBluetooth() override { world_.killBus(); }
  std::uint64_t acceptedFrames() override {
    auto stats = world_.vehicleStats();
    return stats ? stats->acceptedFrames : 0;
  }
  bool controlGranted() override {
    auto stats = world_.vehicleStats();
    return stats && stats->controlGranted;
  }

 private:
  static BluezWorld::Options options(const std::string& vehicleName) {
    BluezWorld::Options options;
    options.vehicleName = vehicleName;
    return options;
  }

  BluezWorld world_;
};

}  // namespace

std::unique_ptr<LinkWorld> makeBluezLinkWorld(const std::string& vehicleName) {
  return std::make_unique<BluezLinkWorld>(vehicleName);
}

}  // namespace lumo::test
