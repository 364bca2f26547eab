#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/ble/CentralBackend.h"
#include "platform/ble/CentralManager.h"
#include "platform/ble/bluez/BluezBus.h"
#include "platform/ble/bluez/BluezObjects.h"

namespace platform::ble {

class BluezLink;

// The back-end of a CentralManager over BlueZ. It keeps a model of the org.bluez objects (the
// first adapter, its devices and their GATT objects), fed by the bus on the main queue, and
// turns changes of that model into the platform's delegate calls. Main thread only.
class BluezCentral final : public CentralBackend, public std::enable_shared_from_this<BluezCentral> {
 public:
  explicit BluezCentral(CentralManagerOptions options);

  void attach(std::weak_ptr<CentralManager> central) override;
  ManagerState state() const override { return state_; }
  void scanForPeripherals(const ScanOptions& options) override;
  void stopScan() override;
  bool isScanning() const override { return scanning_; }
  void connect(Peripheral& peripheral) override;
  void cancelPeripheralConnection(Peripheral& peripheral) override;

  // For the links.
  BluezBus* bus() const { return bus_.get(); }
  const std::map<std::string, BluezServiceRecord>& services() const { return services_; }
  const std::map<std::string, BluezCharacteristicRecord>& characteristics() const { return characteristics_; }
  const BluezDeviceRecord* device(const std::string& path) const;

 private:
  struct Entry {
    std::shared_ptr<Peripheral> handle;
    std::shared_ptr<BluezLink> link;
  };

  void onEvent(const BluezBus::Event& event);
  void listObjects();
  void objectsListed(const BluezBus::Reply& reply);
  void addInterfaces(const std::string& path, const BluezInterfaces& interfaces);
  void removeInterfaces(const std::string& path, const std::vector<std::string>& names);
  void deviceChanged(const std::string& path, const BluezBus::Event& event);
  void forgetEverything();
  void prunePeripherals();
  std::string deviceOf(const std::string& characteristicPath) const;
  void updateState();
  ManagerState liveState() const;
  bool belongsToAdapter(const std::string& devicePath) const;
  void reportDiscovery(const std::string& path);
  void connectReplied(const std::string& path, std::uint64_t generation, const BluezBus::Reply& reply);
  void linkUp(Entry& entry);
  void linkEnded(Entry& entry, const std::optional<std::string>& error);
  Entry* find(const Peripheral& peripheral);
  Entry& entryFor(const std::string& path);
  void postToDelegate(std::function<void(CentralManager&, CentralManagerDelegate&)> call);

  CentralManagerOptions options_;
  std::weak_ptr<CentralManager> central_;
  std::shared_ptr<BluezBus> bus_;
  ManagerState state_ = ManagerState::unknown;
  std::optional<ManagerState> reported_;
  bool listed_ = false;
  bool busLost_ = false;
  bool accessDenied_ = false;
  bool scanning_ = false;
  bool allowDuplicates_ = false;
  std::set<std::string> seenThisScan_;
  std::map<std::string, BluezAdapterRecord> adapters_;
  std::map<std::string, BluezDeviceRecord> devices_;
  std::map<std::string, BluezServiceRecord> services_;
  std::map<std::string, BluezCharacteristicRecord> characteristics_;
  // By device path; an entry whose device left or was not heard by the last scan is dropped
  // once it is disconnected and nobody else holds its handle.
  std::map<std::string, Entry> peripherals_;
};

}  // namespace platform::ble
