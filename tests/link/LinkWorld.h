#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ble/Radio.h"

namespace lumo::test {

// The vehicle and its radio as an end-to-end link test sees them, whichever radio carries
// the link: the verbs are the faults a test can cause, the readings what the vehicle saw.
class LinkWorld {
 public:
  virtual ~LinkWorld() = default;

  // The simulated radio in virtual time, or the mocked BlueZ in real time. Make the world
  // after the clock is chosen and before the SDK makes its central.
  static std::unique_ptr<LinkWorld> make(platform::ble::RadioKind radio, const std::string& vehicleName);

  virtual bool ready() const = 0;
  virtual std::string problem() const = 0;

  virtual void dropLink() = 0;
  // The vehicle refuses the next connection attempt.
  virtual void failNextConnect() = 0;
  virtual void setPowered(bool powered) = 0;
  // The vehicle leaves: its device is gone from the adapter.
  virtual void removeVehicle() = 0;
  // The state characteristic stops delivering (it vanishes, or the vehicle falls silent).
  virtual void loseStateCharacteristic() = 0;
  // Bluetooth itself goes away (the bus daemon, or an adapter that cannot be used).
  virtual void loseBluetooth() = 0;

  virtual std::uint64_t acceptedFrames() = 0;
  virtual bool controlGranted() = 0;
};

}  // namespace lumo::test
