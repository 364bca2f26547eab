#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/ble/Uuid.h"
#include "platform/foundation/Bytes.h"

namespace lumo::test {

// A mocked BlueZ on a private bus, for the BlueZ back-end's tests: a dbus-daemon of our own,
// python3-dbusmock's bluez5 template on it as the system bus, adapter hci0 and the vehicle
// (lumo_gatt_vehicle) as a connectable GATT device. The constructor sets
// DBUS_SYSTEM_BUS_ADDRESS in this process, so sdbus::createSystemBusConnection() reaches the
// world; the destructor stops every process, removes the temporary folder and restores the
// variable. Runs in real time. Never throws: failures are reported by ready()/error().
class BluezWorld {
 public:
  struct Options {
    bool bluez = true;        // false: a bare bus on which no BlueZ service runs
    bool adapter = true;      // false: no adapter at all
    bool vehicle = true;      // start the vehicle device (needs the adapter)
    bool denyBluez = false;   // the bus refuses calls to BlueZ (AccessDenied), as for a user without rights
    std::string vehicleName = "LUMO-0001";
    std::string vehicleAddress = "C0:FF:EE:00:00:01";
    int rssi = -58;
  };

  // What the vehicle fixture reports about itself.
  struct VehicleStats {
    std::uint64_t acceptedFrames = 0;
    std::uint64_t rejectedFrames = 0;
    std::uint64_t stateFrames = 0;
    std::uint64_t connections = 0;
    std::uint32_t advertisements = 0;   // RSSI refreshes sent while the adapter discovered
    bool controlGranted = false;
    bool watchdogBraking = false;
    bool linked = false;
    double speed = 0;                   // m/s of the vehicle model
    std::string devicePath;             // "/" once the device was removed
    platform::Bytes lastFrame;          // last accepted control frame, re-encoded; empty if none
  };

  static constexpr const char* kAdapterPath = "/org/bluez/hci0";

  BluezWorld();
  explicit BluezWorld(Options options);
  ~BluezWorld();
  BluezWorld(const BluezWorld&) = delete;
  BluezWorld& operator=(const BluezWorld&) = delete;

  bool ready() const { return error_.empty(); }
  // Why the world is not ready, with the children's logs.
  const std::string& error() const { return error_; }
  const std::string& busAddress() const { return address_; }
  const Options& options() const { return options_; }
  // BlueZ's object path for the vehicle's address.
  std::string devicePath() const;

  // --- faults of the bus and the adapter
  bool setPowered(bool powered);
  bool removeAdapter();
  // Stops the bus daemon (SIGKILL): every client and fixture loses its connection.
  bool killBus();
  // Whether the vehicle program ended within `seconds` (after killBus, for instance).
  bool vehicleExited(double seconds);

  // --- malformed BlueZ data: any object, interface and property types, as the mock takes them
  using Properties = std::map<std::string, sdbus::Variant>;
  // Adds an object under org.bluez and announces it with InterfacesAdded.
  bool addObject(const std::string& path, const std::string& interface, const Properties& properties);
  // Changes existing properties (any type) and sends PropertiesChanged.
  bool updateProperties(const std::string& path, const std::string& interface, const Properties& properties);

  // --- faults of the vehicle (its control interface)
  bool failNextConnects(std::uint32_t count);
  bool dropLink();
  bool removeDevice();
  bool removeCharacteristic(const platform::ble::Uuid& uuid);
  bool setSilent(bool silent);
  // Sends `count` Value changes of `length` bytes on the notifying state characteristic as
  // fast as the bus takes them; returns how many went out (0 when nobody subscribed).
  std::uint32_t valueStorm(std::uint32_t count, std::uint32_t length);
  bool setName(const std::string& name);
  // Raw name bytes as a radio would carry them; returns the text that reached the bus.
  std::optional<std::string> setNameBytes(const std::string& bytes);
  std::optional<VehicleStats> vehicleStats();
  // When each write reached the vehicle since the last call (CLOCK_MONOTONIC nanoseconds).
  std::optional<std::vector<std::int64_t>> takeWriteArrivals();

  // The children's combined output (bus daemon, mock, vehicle), for failure messages.
  std::string logs() const;

 private:
  struct Child {
    pid_t pid = -1;
    std::string name;
    std::filesystem::path log;
  };

  bool start();
  bool spawn(Child& child, const std::string& name, const std::vector<std::string>& argv);
  bool waitForName(const std::string& name, const Child& child);
  bool connect();
  void stop(Child& child);
  static bool reap(Child& child, double seconds);
  sdbus::IProxy* vehicleControl();
  sdbus::IProxy* bluezMock(const std::string& path);
  bool fail(const std::string& what);

  Options options_;
  std::string error_;
  std::filesystem::path dir_;
  std::string address_;
  std::optional<std::string> previousSystemBus_;
  Child daemon_;
  Child mock_;
  Child vehicle_;
  std::unique_ptr<sdbus::IConnection> connection_;
  std::unique_ptr<sdbus::IProxy> busDriver_;
  std::unique_ptr<sdbus::IProxy> control_;
  std::vector<std::unique_ptr<sdbus::IProxy>> proxies_;
};

}  // namespace lumo::test
