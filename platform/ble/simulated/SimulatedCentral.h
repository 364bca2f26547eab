#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

#include "platform/PlatformExport.h"
#include "platform/ble/CentralBackend.h"
#include "platform/ble/CentralManager.h"
#include "platform/ble/simulated/SimulatedLink.h"
#include "platform/ble/simulated/SimulatedPeripheral.h"

namespace platform::ble {

class SimulatedRadio;

// Private to the simulated radio: the back-end of one CentralManager handle.
class LUMO_PLATFORM_EXPORT SimulatedCentral final : public CentralBackend, public std::enable_shared_from_this<SimulatedCentral> {
 public:
  SimulatedCentral(std::weak_ptr<SimulatedRadio> radio, CentralManagerOptions options);

  void attach(std::weak_ptr<CentralManager> central) override;
  ManagerState state() const override { return state_; }
  void scanForPeripherals(const ScanOptions& options) override;
  void stopScan() override;
  bool isScanning() const override { return scanning_; }
  void connect(Peripheral& peripheral) override;
  void cancelPeripheralConnection(Peripheral& peripheral) override;

  // Driven by the radio.
  bool isAlive() const { return !central_.expired(); }
  void adapterChanged(ManagerState state);
  void advertisement(const SimulatedPeripheral& device);
  void linkLost(const Uuid& device, const std::string& reason);
  std::size_t notify(const Uuid& device, const Uuid& characteristic, const Bytes& value);
  bool isConnected(const Uuid& device) const;
  void returnCredits(const Uuid& device, int count);

 private:
  struct Entry {
    std::shared_ptr<Peripheral> handle;
    std::shared_ptr<SimulatedLink> link;
  };
  Entry* find(const Peripheral& peripheral);
  Entry& entryFor(const SimulatedPeripheral& device);
  void postToDelegate(std::function<void(CentralManager&, CentralManagerDelegate&)> call);

  std::weak_ptr<SimulatedRadio> radio_;
  CentralManagerOptions options_;
  std::weak_ptr<CentralManager> central_;
  ManagerState state_ = ManagerState::unknown;
  bool scanning_ = false;
  bool allowDuplicates_ = false;
  std::set<Uuid> seenThisScan_;
  std::unordered_map<Uuid, Entry, UuidHash> peripherals_;
};

}  // namespace platform::ble
