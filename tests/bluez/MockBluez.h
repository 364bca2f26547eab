#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/bluez/BluezWorld.h"

namespace lumo::test {

// The BlueZ world without its vehicle, for the back-end's own tests: they add adapters,
// devices and GATT objects of any shape to the mock themselves. Verbs change the mocked
// world; each call returns when the mock has done it.
class MockBluez {
 public:
  struct Options {
    // The bus refuses calls to org.bluez, as a policy without Bluetooth rights does.
    bool denyBluez = false;
    bool bluez = true;  // false: nothing owns org.bluez
  };

  explicit MockBluez(Options options);
  MockBluez() : MockBluez(Options{}) {}
  ~MockBluez();
  MockBluez(const MockBluez&) = delete;
  MockBluez& operator=(const MockBluez&) = delete;

  // Whether the daemon and the mock came up; the reason otherwise.
  bool ready() const { return ready_; }
  const std::string& problem() const { return problem_; }

  // "hci0" -> "/org/bluez/hci0"
  std::string addAdapter(const std::string& name = "hci0");
  void removeAdapter(const std::string& name = "hci0");
  void setPowered(bool powered, const std::string& adapter = "hci0");
  // A device as the adapter hears it; returns its object path.
  std::string addDevice(const std::string& address, const std::string& name, const std::string& adapter = "hci0");
  void removeDevice(const std::string& path, const std::string& adapter = "hci0");
  // Sets properties of an object and emits PropertiesChanged (python literals as values,
  // e.g. {"RSSI", "dbus.Int16(-40)"}).
  void updateProperties(const std::string& path, const std::string& interface,
                        const std::map<std::string, std::string>& pythonValues);
  // Replaces a method of an object with python code (dbusmock's AddMethod).
  void replaceMethod(const std::string& path, const std::string& interface, const std::string& method,
                     const std::string& inSignature, const std::string& outSignature, const std::string& code);
  // GATT objects the template lacks. A characteristic's WriteValue records (path, bytes, type)
  // in writtenValues(); StartNotify/StopNotify set Notifying; ReadValue returns Value.
  std::string addGattService(const std::string& devicePath, int handle, const std::string& uuid);
  // mtu > 0 gives it an MTU property; acquireMtu > 0 offers AcquireWrite answering that MTU.
  std::string addGattCharacteristic(const std::string& servicePath, int handle, const std::string& uuid,
                                    const std::vector<std::string>& flags, int mtu = 0, int acquireMtu = 0);
  void removeObject(const std::string& path, const std::string& interface);
  // Sets a characteristic's Value and emits the change, as a notification does.
  void notify(const std::string& characteristicPath, const std::vector<int>& bytes);
  // Every write so far as "<uuid-path> <hex> <type>" lines.
  std::vector<std::string> writtenValues();
  // Evaluates a python expression inside the mock and returns str() of it.
  std::string evalInMock(const std::string& expression);
  // Runs python code inside the mock (objects, mockobject, dbus are in scope).
  void runInMock(const std::string& code);
  // Emits a signal from the ObjectManager at "/" with any signature (malformed ones included).
  void emitFromRoot(const std::string& interface, const std::string& name, const std::string& pythonArgs);
  // Ends the bus daemon: every connection to it drops.
  void stopDaemon();

 private:
  std::unique_ptr<sdbus::IProxy> proxy(const std::string& path);

  BluezWorld world_;
  bool ready_ = false;
  std::string problem_;
  std::unique_ptr<sdbus::IConnection> connection_;
};

}  // namespace lumo::test
