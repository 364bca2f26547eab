// lumo_gatt_vehicle: the delivery vehicle as a device of python3-dbusmock's BlueZ template.
// Runs on the bus in DBUS_SYSTEM_BUS_ADDRESS, next to `python3 -m dbusmock --template bluez5`
// with an adapter added, and answers control frames with the vehicle simulator's logic.
// Faults and inspection: org.lumo.VehicleFixture at /org/lumo/VehicleFixture.
//
//   lumo_gatt_vehicle [--adapter hci0] [--address AA:BB:CC:DD:EE:FF] [--name NAME] [--rssi N]

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "sim/bluez/GattVehicleFixture.h"

int main(int argc, char** argv) {
  sim::bluez::GattVehicleFixture::Options options;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    bool hasValue = i + 1 < argc;
    if (argument == "--adapter" && hasValue) {
      options.adapter = argv[++i];
    } else if (argument == "--address" && hasValue) {
      options.address = argv[++i];
    } else if (argument == "--name" && hasValue) {
      options.name = argv[++i];
    } else if (argument == "--rssi" && hasValue) {
      options.rssi = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: %s [--adapter hci0] [--address AA:BB:CC:DD:EE:FF] [--name NAME] [--rssi N]\n",
                   argv[0]);
      return 2;
    }
  }

  // Block the stop signals before any thread starts, so that only the waiter below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  sim::bluez::GattVehicleFixture fixture(options);
  std::string error;
  if (!fixture.start(error)) {
    std::fprintf(stderr, "lumo_gatt_vehicle: cannot start: %s\n", error.c_str());
    return 1;
  }
  std::thread([&fixture, stopSignals] {
    int received = 0;
    sigwait(&stopSignals, &received);
    fixture.stop();
  }).detach();

  bool busLost = fixture.run();
  std::fprintf(stderr, "lumo_gatt_vehicle: %s\n", busLost ? "bus went away, stopping" : "stopping");
  return 0;
}
