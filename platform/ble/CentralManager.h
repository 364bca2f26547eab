#pragma once

#include <memory>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"
#include "platform/ble/CentralBackend.h"
#include "platform/ble/CentralManagerDelegate.h"
#include "platform/ble/Peripheral.h"

namespace platform::ble {

// CBCentralManager: the central role. Made by Radio::makeCentralManager; a thin handle over
// the chosen back-end. The delegate is held weakly and hears every event on the main queue.
class LUMO_PLATFORM_EXPORT CentralManager {
 public:
  CentralManager(std::shared_ptr<CentralBackend> backend, CentralManagerOptions options);

  ManagerState state() const { return backend_->state(); }
  const CentralManagerOptions& options() const { return options_; }

  std::shared_ptr<CentralManagerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<CentralManagerDelegate> delegate) { delegate_ = std::move(delegate); }

  // No service filter: every advertising peripheral is reported.
  void scanForPeripherals(const ScanOptions& options = {}) { backend_->scanForPeripherals(options); }
  void stopScan() { backend_->stopScan(); }
  bool isScanning() const { return backend_->isScanning(); }
  void connect(Peripheral& peripheral) { backend_->connect(peripheral); }
  void cancelPeripheralConnection(Peripheral& peripheral) { backend_->cancelPeripheralConnection(peripheral); }

 private:
  std::shared_ptr<CentralBackend> backend_;
  CentralManagerOptions options_;
  std::weak_ptr<CentralManagerDelegate> delegate_;
};

}  // namespace platform::ble
