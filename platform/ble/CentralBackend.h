#pragma once

#include <memory>

#include "platform/PlatformExport.h"
#include "platform/ble/BleTypes.h"

namespace platform::ble {

class CentralManager;
class Peripheral;

// The work behind a CentralManager handle.
//
// Notes for implementers:
// - Calls come from the main thread only. attach() comes first, once, with the handle whose
//   delegate hears the events.
// - The state starts unknown and the first real state arrives later through
//   centralManagerDidUpdateState, as on the phone; every later change is reported too.
// - Every delegate call is made on the main queue, never synchronously inside the call that
//   caused it, and only while the handle is still alive.
// - Peripherals handed to the delegate are the back-end's own handles: one per remote device
//   for this central, the same object every time.
// - cancelPeripheralConnection ends an established or pending link with
//   didDisconnectPeripheral (no error); on a peripheral without a link it does nothing.
// - A link that ends for any other reason (loss, adapter off) is reported through
//   didDisconnectPeripheral with an error.
// - Nothing here throws; an operation that makes no sense in the current state is ignored.
class LUMO_PLATFORM_EXPORT CentralBackend {
 public:
  virtual ~CentralBackend() = default;
  virtual void attach(std::weak_ptr<CentralManager> central) = 0;
  virtual ManagerState state() const = 0;
  virtual void scanForPeripherals(const ScanOptions& options) = 0;
  virtual void stopScan() = 0;
  virtual bool isScanning() const = 0;
  virtual void connect(Peripheral& peripheral) = 0;
  virtual void cancelPeripheralConnection(Peripheral& peripheral) = 0;
};

}  // namespace platform::ble
