#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/ble/Uuid.h"
#include "platform/foundation/Bytes.h"
#include "sim/vehicle/VehicleSimulator.h"

namespace platform::dispatch {
class Timer;
}

namespace sim::bluez {

// The vehicle as a device of python3-dbusmock's BlueZ template: adds the device and its
// GATT objects to the mock, runs the vehicle simulator's frame logic behind them in real
// time, and offers a control interface (org.lumo.VehicleFixture) for faults and inspection.
// The main loop's thread owns the vehicle; a second thread only reads the bus.
//
// Objects under org.bluez (dev_XX = the address with '_'):
//   /org/bluez/hci0/dev_XX                      Device1 (template's AddDevice; Connect and
//                                               Disconnect replaced: they set Connected)
//   .../dev_XX/service0001                      GattService1 0000180a-... (device information)
//   .../dev_XX/service0001/char0002             GattCharacteristic1 00002a29-..., ["read"]
//   .../dev_XX/service000a                      GattService1 4c554d4f-...-0000000000a0 (vehicle)
//   .../dev_XX/service000a/char000b             state 4c554d4f-...-0000000000a1, ["notify"]
//   .../dev_XX/service000a/char000e             control 4c554d4f-...-0000000000a2,
//                                               ["write-without-response"]
// Service: UUID, Primary, Device, Includes. Characteristic: UUID, Service, Value, Notifying,
// Flags; methods ReadValue, WriteValue, StartNotify, StopNotify (no AcquireWrite/Notify, no
// descriptors). ServicesResolved follows Connected after resolveDelaySeconds, with UUIDs.
class GattVehicleFixture {
 public:
  struct Options {
    std::string adapter = "hci0";
    std::string address = "C0:FF:EE:00:00:01";
    std::string name = "LUMO-0001";
    int rssi = -58;
    double resolveDelaySeconds = 0.1;   // Connected -> ServicesResolved
    double advertisingSeconds = 0.2;    // RSSI refresh while the adapter discovers
  };

  static constexpr const char* kBusName = "org.lumo.VehicleFixture";
  static constexpr const char* kObjectPath = "/org/lumo/VehicleFixture";
  static constexpr const char* kInterface = "org.lumo.VehicleFixture";

  explicit GattVehicleFixture(Options options);
  ~GattVehicleFixture();
  GattVehicleFixture(const GattVehicleFixture&) = delete;
  GattVehicleFixture& operator=(const GattVehicleFixture&) = delete;

  // Connects, builds the device, exports the control object and takes the bus name last,
  // so an owned name means a complete world. On failure returns false with `error` set.
  bool start(std::string& error);
  // Runs until stop() or until the bus goes away; returns whether the bus was lost.
  bool run();
  // Any thread.
  void stop();

 private:
  struct Characteristic {
    std::string path;
    platform::ble::Uuid uuid;
    std::vector<std::string> flags;
    bool notifying = false;
  };

  void buildDevice();
  void addService(const std::string& path, const platform::ble::Uuid& uuid);
  void addCharacteristic(const std::string& path, const std::string& service, const platform::ble::Uuid& uuid,
                         std::vector<std::string> flags, const platform::Bytes& value);
  void exportControl();
  void readBus();

  // Main thread: reactions to the mock's signals.
  void onPropertiesChanged(const std::string& path, const std::string& interface,
                           const std::map<std::string, sdbus::Variant>& changed);
  void onWritten(const std::string& path, const platform::Bytes& value);
  void onConnected(bool connected);
  void advertise();
  void pushValue(const std::string& path, const platform::Bytes& value);
  void dropLink();
  bool removeCharacteristic(const std::string& uuid);
  void removeDevice();
  void setName(const std::string& name);

  sdbus::IProxy& mock(const std::string& path);
  void updateProperties(const std::string& path, const std::string& interface,
                        const std::map<std::string, sdbus::Variant>& properties);
  // Runs `work` on the main thread and waits for it (control methods arrive on the bus thread).
  void onMain(const std::function<void()>& work);
  // A bus failure on the main thread ends the program instead of escaping.
  void guarded(const std::function<void()>& work);

  Options options_;
  std::string devicePath_;
  std::unique_ptr<sdbus::IConnection> caller_;    // main thread: calls into the mock
  std::unique_ptr<sdbus::IConnection> listener_;  // bus thread: signals and control object
  std::unique_ptr<sdbus::IObject> control_;
  std::map<std::string, std::unique_ptr<sdbus::IProxy>> proxies_;
  std::thread busThread_;
  int wakeFd_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> busLost_{false};
  // CLOCK_MONOTONIC nanoseconds at which each write reached the fixture, for cadence figures;
  // bounded: past kMaxWriteArrivals the oldest are dropped.
  static constexpr std::size_t kMaxWriteArrivals = 8192;
  std::mutex arrivalsMutex_;
  std::deque<std::int64_t> writeArrivals_;

  std::unique_ptr<VehicleSimulator> vehicle_;
  std::vector<Characteristic> characteristics_;
  std::vector<std::string> services_;
  bool deviceExists_ = false;
  bool connected_ = false;
  bool powered_ = true;
  bool discovering_ = false;
  std::uint32_t advertisements_ = 0;
  std::shared_ptr<platform::dispatch::Timer> resolveTimer_;
  std::shared_ptr<platform::dispatch::Timer> advertiseTimer_;
};

}  // namespace sim::bluez
