#pragma once

#include <string>

namespace sim::bluez {

// Python bodies for methods the GATT fixture adds to python3-dbusmock's BlueZ objects. They
// keep BlueZ's answers (errors, Notifying, Connected) inside the mock and hand every write
// to the fixture program as a signal, so the vehicle logic runs in C++ and the mock never
// waits for the fixture (no call cycles between the two processes).
struct MockMethods {
  // The fixture's own interface on the mock's root object ("/", outside GetManagedObjects).
  static constexpr const char* kInterface = "org.lumo.VehicleFixture.Mock";
  // Signals the mock sends the fixture program from "/".
  static constexpr const char* kGattSignals = "org.lumo.VehicleFixture.Gatt";

  // On "/": SetFault(s key, v value); AddGattObject(o, s, a{sv}, a(ssss)) and
  // RemoveGattObject(o) add/remove an object and send InterfacesAdded/InterfacesRemoved.
  static std::string setFault();
  static std::string addGattObject();
  static std::string removeGattObject();

  // Adapter1 discovery, replacing the template's: its StartDiscovery fails with KeyError until
  // SetDiscoveryFilter was called, and it ignores Powered.
  static std::string startDiscovery();
  static std::string stopDiscovery();
  static std::string setDiscoveryFilter();

  // Device1.Connect / Device1.Disconnect, replacing the template's (which set no property).
  static std::string connect();
  static std::string disconnect();

  // GattCharacteristic1 methods.
  static std::string readValue();
  static std::string writeValue();
  static std::string startNotify();
  static std::string stopNotify();
};

}  // namespace sim::bluez
