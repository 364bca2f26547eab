#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/ble/bluez/BluezBus.h"

namespace sdbus {
class Message;
}

namespace platform::ble::bluez {

// Private to the bus thread: turns the signals the back-end subscribed to into events, and
// decides which to believe. Anyone on the bus can send a signal under BlueZ's paths and
// interfaces, and anyone can address one straight to this connection, past every match rule.
// So a signal counts only when it was broadcast by the unique name that owns org.bluez (or,
// for NameOwnerChanged, by the bus itself); the owner is followed through those changes.
// Every other signal is dropped and counted; the first from each sender makes a line.
class BluezSignalReader {
 public:
  // Senders named in a line each; past that, drops are only counted.
  static constexpr std::size_t kMaxNamedSenders = 64;

  // The unique name that owns org.bluez as the bus answered it ("" when nobody does).
  void setOwner(std::string owner) { owner_ = std::move(owner); }
  const std::string& owner() const { return owner_; }

  // The event one signal stands for: nothing for a signal of no interest, a problem event
  // for a malformed or refused one (its text the console line, or empty for a drop already
  // reported). Never throws.
  std::optional<BluezBus::Event> read(sdbus::Message& message);

  std::uint64_t dropped() const { return dropped_; }

 private:
  std::optional<BluezBus::Event> drop(const std::string& sender, const char* why);
  std::optional<BluezBus::Event> objectManager(sdbus::Message& message, const std::string& member);
  std::optional<BluezBus::Event> propertiesChanged(sdbus::Message& message);
  std::optional<BluezBus::Event> nameOwnerChanged(sdbus::Message& message);

  std::string owner_;
  std::uint64_t dropped_ = 0;
  std::map<std::string, std::uint64_t> droppedBySender_;
};

}  // namespace platform::ble::bluez
