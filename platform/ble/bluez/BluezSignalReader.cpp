#include "platform/ble/bluez/BluezSignalReader.h"

#include <systemd/sd-bus.h>

#include <sdbus-c++/sdbus-c++.h>

#include "platform/ble/bluez/BluezMessages.h"

namespace platform::ble::bluez {

namespace {

constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// sdbus-c++ hands sender and destination out as std::string, which a message without them
// (every broadcast lacks a destination) cannot give; sd-bus's own calls answer nullptr.
struct RawMessage : sdbus::Message {
  static sd_bus_message* of(const sdbus::Message& message) {
    return static_cast<sd_bus_message*>(message.*(&RawMessage::msg_));
  }
};

std::string text(const char* value) { return value != nullptr ? std::string(value) : std::string(); }

BluezBus::Event problem(std::string text) {
  BluezBus::Event event;
  event.kind = BluezBus::Event::Kind::problem;
  event.text = std::move(text);
  return event;
}

}  // namespace

std::optional<BluezBus::Event> BluezSignalReader::read(sdbus::Message& message) {
  sd_bus_message* raw = RawMessage::of(message);
  if (raw == nullptr) return std::nullopt;
  const std::string sender = text(sd_bus_message_get_sender(raw));
  const std::string interface = text(sd_bus_message_get_interface(raw));
  const std::string member = text(sd_bus_message_get_member(raw));
  const std::string path = text(sd_bus_message_get_path(raw));
  // BlueZ and the bus broadcast what they say; a signal meant for this connection alone is
  // somebody talking to the SDK directly.
  if (sd_bus_message_get_destination(raw) != nullptr) return drop(sender, "addressed to the SDK alone");
  if (interface == kBusName && member == "NameOwnerChanged") {
    if (sender != kBusName || path != kBusPath) return drop(sender, "not from the bus");
    return nameOwnerChanged(message);
  }
  if (owner_.empty() || sender != owner_) return drop(sender, "not from the owner of org.bluez");
  if (interface == kObjectManager) return objectManager(message, member);
  if (interface == kProperties && member == "PropertiesChanged") return propertiesChanged(message);
  return std::nullopt;
}

std::optional<BluezBus::Event> BluezSignalReader::drop(const std::string& sender, const char* why) {
  ++dropped_;
  auto known = droppedBySender_.find(sender);
  if (known != droppedBySender_.end()) {
    ++known->second;
    return std::nullopt;
  }
  if (droppedBySender_.size() >= kMaxNamedSenders) return std::nullopt;
  droppedBySender_.emplace(sender, 1);
  const std::string who = sender.empty() ? std::string("(no sender)") : sender;
  return problem("BlueZ: ignoring signals from " + who + " (" + why + "); " + std::to_string(dropped_) +
                 " dropped so far");
}

std::optional<BluezBus::Event> BluezSignalReader::objectManager(sdbus::Message& message, const std::string& member) {
  try {
    BluezBus::Event event;
    sdbus::ObjectPath path;
    if (member == "InterfacesAdded") {
      SdInterfaces interfaces;
      message >> path >> interfaces;
      event.kind = BluezBus::Event::Kind::interfacesAdded;
      event.interfaces = toInterfaces(interfaces);
    } else if (member == "InterfacesRemoved") {
      message >> path >> event.names;
      event.kind = BluezBus::Event::Kind::interfacesRemoved;
    } else {
      return std::nullopt;
    }
    event.path = path;
    return event;
  } catch (const sdbus::Error&) {
    return problem("BlueZ: ignored a malformed " + member + " signal from " + message.getPath());
  }
}

std::optional<BluezBus::Event> BluezSignalReader::propertiesChanged(sdbus::Message& message) {
  try {
    BluezBus::Event event;
    SdProperties changed;
    message >> event.interface >> changed >> event.names;
    event.kind = BluezBus::Event::Kind::propertiesChanged;
    event.path = message.getPath();
    event.properties = toProperties(changed);
    auto value = event.properties.find("Value");
    if (value != event.properties.end()) {
      if (const auto* bytes = std::get_if<Bytes>(&value->second); bytes && bytes->size() > kMaxValueBytes) {
        return problem("BlueZ: ignored a value of " + std::to_string(bytes->size()) + " bytes on " + event.path +
                       " (at most " + std::to_string(kMaxValueBytes) + ")");
      }
    }
    return event;
  } catch (const sdbus::Error&) {
    return problem(std::string("BlueZ: ignored a malformed PropertiesChanged signal from ") + message.getPath());
  }
}

std::optional<BluezBus::Event> BluezSignalReader::nameOwnerChanged(sdbus::Message& message) {
  try {
    std::string name, oldOwner, newOwner;
    message >> name >> oldOwner >> newOwner;
    if (name != kService) return std::nullopt;
    owner_ = newOwner;
    BluezBus::Event event;
    event.kind = newOwner.empty() ? BluezBus::Event::Kind::serviceVanished : BluezBus::Event::Kind::serviceAppeared;
    return event;
  } catch (const sdbus::Error&) {
    return problem("BlueZ: ignored a malformed NameOwnerChanged signal");
  }
}

}  // namespace platform::ble::bluez
