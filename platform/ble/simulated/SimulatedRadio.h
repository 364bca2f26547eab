#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"
#include "platform/ble/CentralBackend.h"
#include "platform/ble/simulated/SimulatedPeripheral.h"
#include "platform/dispatch/Clock.h"

namespace platform::dispatch {
class Timer;
}

namespace platform::ble {

class SimulatedCentral;

// The simulated Bluetooth world: one adapter shared by every central of the process (as on a
// phone), the devices in range, and the outcome of the next connections. Runs on the main
// thread and the main loop's clock; every event reaches the centrals through the main queue.
// Tests read it as a story: setAdapterState, addPeripheral, simulateConnectionFailure,
// simulateLinkLoss; operations() records what the phone asked the radio to do.
class LUMO_PLATFORM_EXPORT SimulatedRadio : public std::enable_shared_from_this<SimulatedRadio> {
 public:
  static std::shared_ptr<SimulatedRadio> make();
  ~SimulatedRadio();

  std::shared_ptr<CentralBackend> makeCentralBackend(const CentralManagerOptions& options);

  // --- the adapter
  ManagerState adapterState() const { return adapterState_; }
  // Reported to every central. Leaving poweredOn ends scans and drops every link (each
  // connected central hears didDisconnectPeripheral after the state change).
  void setAdapterState(ManagerState state);
  // How many times a central made with the power-alert option met an adapter that was off.
  int powerAlertsShown() const { return powerAlertsShown_; }

  // --- devices in range
  // The device advertises at its interval while some central scans and it has no link.
  void addPeripheral(const std::shared_ptr<SimulatedPeripheral>& peripheral);
  // The device goes out of range: its links drop and it advertises no more.
  void removePeripheral(const SimulatedPeripheral& peripheral);
  // One advertisement now, outside the device's rhythm.
  void simulateAdvertisement(const SimulatedPeripheral& peripheral);

  // --- connections
  void setConnectLatency(dispatch::Seconds latency) { connectLatency_ = latency; }
  dispatch::Seconds connectLatency() const { return connectLatency_; }
  // Queued replies, used by the next connects in order; a connect with none queued succeeds.
  void simulateConnectionFailure(std::string description = "The specified device could not be connected.");
  void simulateConnectionStall();
  // The next write with response is answered with this error.
  void simulateWriteFailure(std::string description = "The request is not supported.");
  std::size_t unusedReplies() const { return connectReplies_.size() + writeFailures_.size(); }
  void simulateLinkLoss(const SimulatedPeripheral& peripheral,
                        const std::string& reason = "The connection has timed out unexpectedly.");
  bool isConnected(const SimulatedPeripheral& peripheral) const;
  // Gives back write-without-response credits on every link to the device (manual mode).
  void returnWriteCredits(const SimulatedPeripheral& peripheral, int count);

  // --- the record of operations, oldest first; bounded: the oldest entries go first
  static constexpr std::size_t kOperationRecordLimit = 4096;
  const std::deque<std::string>& operations() const { return operations_; }
  std::size_t countOperations(const std::string& prefix) const;
  void clearOperations() { operations_.clear(); }
  void record(std::string operation);

  // --- used by the back-end objects
  struct ConnectReply {
    enum class Kind { succeed, fail, stall } kind = Kind::succeed;
    std::string description;
  };
  ConnectReply takeConnectReply();
  std::optional<std::string> takeWriteFailure();
  std::shared_ptr<SimulatedPeripheral> device(const Uuid& identifier) const;
  std::size_t deliverNotification(const SimulatedPeripheral& peripheral, const Uuid& characteristic,
                                  const Bytes& value);
  void scanningChanged();
  std::size_t liveCentrals() const;

 private:
  SimulatedRadio() = default;
  std::vector<std::shared_ptr<SimulatedCentral>> centrals() const;
  void advertise(const SimulatedPeripheral& peripheral);

  ManagerState adapterState_ = ManagerState::poweredOn;
  int powerAlertsShown_ = 0;
  std::vector<std::weak_ptr<SimulatedCentral>> centrals_;
  std::vector<std::shared_ptr<SimulatedPeripheral>> devices_;
  std::vector<std::shared_ptr<dispatch::Timer>> advertisingTimers_;
  std::uint64_t nextIdentifier_ = 1;
  dispatch::Seconds connectLatency_{0.05};
  std::deque<ConnectReply> connectReplies_;
  std::deque<std::string> writeFailures_;
  std::deque<std::string> operations_;
};

}  // namespace platform::ble
