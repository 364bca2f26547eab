// Signals as the BlueZ back-end's bus thread meets them: any sender, destination, path,
// interface, member and body (nested variants included). A signal that is not broadcast by the
// owner of org.bluez (or, for a change of owner, by the bus itself) is dropped and counted and
// changes nothing; whatever the owner sends, the reader never crashes and never hands on a
// characteristic value longer than a peripheral can hold.
#include <fuzzer/FuzzedDataProvider.h>
#include <systemd/sd-bus.h>

#include <cstddef>
#include <cstdint>
#include <sdbus-c++/sdbus-c++.h>
#include <string>
#include <vector>

#include "platform/ble/bluez/BluezMessages.h"
#include "platform/ble/bluez/BluezSignalReader.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace sdbus {
// Exported by sdbus-c++ (a message on its bus-less pseudo connection), not declared in its headers.
PlainMessage createPlainMessage();
}  // namespace sdbus

namespace {

using lumo::fuzz::require;
using platform::ble::BluezBus;
using platform::ble::bluez::BluezSignalReader;
using Kind = BluezBus::Event::Kind;

constexpr const char* kOwner = ":1.7";
constexpr const char* kBus = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
constexpr int kMaxDepth = 6;

// A signal message wrapped as sdbus-c++ wraps what it receives; the pseudo connection's
// library interface does the reference counting.
struct Access : sdbus::Message {
  static sdbus::internal::ISdBus* library(const sdbus::Message& message) { return message.*(&Access::sdbus_); }
};
struct Received : sdbus::Message {
  Received(sd_bus_message* raw, sdbus::internal::ISdBus* library) : Message(raw, library, sdbus::adopt_message) {}
};

sd_bus* pseudoBus() {
  static sd_bus* bus = [] {
    sd_bus* made = nullptr;
    sd_bus_new(&made);
    // With no address the start fails, but leaves a bus that can make messages.
    (void)sd_bus_start(made);
    return made;
  }();
  return bus;
}

std::string pick(FuzzedDataProvider& data, const std::vector<std::string>& known) {
  std::size_t choice = data.ConsumeIntegralInRange<std::size_t>(0, known.size());
  return choice < known.size() ? known[choice] : data.ConsumeRandomLengthString(40);
}

// A complete D-Bus type, chosen by the input.
std::string signature(FuzzedDataProvider& data, int depth) {
  static const char kBasic[] = "ybnqiuxtdsog";
  int choice = data.ConsumeIntegralInRange(0, depth >= kMaxDepth ? 11 : 15);
  if (choice < 12) return std::string(1, kBasic[choice]);
  if (choice == 12) return "v";
  if (choice == 13) return "a" + signature(data, depth + 1);
  if (choice == 14) return "a{" + std::string(1, kBasic[data.ConsumeIntegralInRange(0, 11)]) + signature(data, depth + 1) + "}";
  return "(" + signature(data, depth + 1) + signature(data, depth + 1) + ")";
}

// The end of the complete type starting at `at`.
std::size_t typeEnd(const std::string& type, std::size_t at) {
  if (type[at] == 'a') return typeEnd(type, at + 1);
  if (type[at] != '(' && type[at] != '{') return at + 1;
  std::size_t next = at + 1;
  while (next < type.size() && type[next] != ')' && type[next] != '}') next = typeEnd(type, next);
  return next + 1;
}

void append(sd_bus_message* m, FuzzedDataProvider& data, const std::string& type, int depth);

void appendBasic(sd_bus_message* m, FuzzedDataProvider& data, char type) {
  if (type == 's' || type == 'o' || type == 'g') {
    static const std::vector<std::string> texts = {"org.bluez.Device1", "org.bluez.GattCharacteristic1",
                                                   "org.bluez.Adapter1", "Value", "RSSI", "Connected", "org.bluez",
                                                   kOwner, "/org/bluez/hci0/dev_11_22_33_44_55_66", "ay"};
    std::string text = pick(data, texts);
    // Paths and signatures the library refuses are simply not appended.
    (void)sd_bus_message_append_basic(m, type, text.c_str());
    return;
  }
  std::uint64_t raw = data.ConsumeIntegral<std::uint64_t>();
  if (type == 'b') raw &= 1;
  if (type == 'd') {
    double value = static_cast<double>(static_cast<std::int64_t>(raw));
    (void)sd_bus_message_append_basic(m, type, &value);
    return;
  }
  (void)sd_bus_message_append_basic(m, type, &raw);  // little-endian: the low bytes are the value
}

void append(sd_bus_message* m, FuzzedDataProvider& data, const std::string& type, int depth) {
  for (std::size_t at = 0; at < type.size(); at = typeEnd(type, at)) {
    const std::string one = type.substr(at, typeEnd(type, at) - at);
    if (one == "ay") {
      // Values of every length around the limit, without spending the input on them.
      std::vector<std::uint8_t> bytes(data.ConsumeIntegralInRange<std::size_t>(0, 1100), data.ConsumeIntegral<std::uint8_t>());
      (void)sd_bus_message_append_array(m, 'y', bytes.data(), bytes.size());
    } else if (one[0] == 'a') {
      const std::string element = one.substr(1);
      if (sd_bus_message_open_container(m, 'a', element.c_str()) < 0) return;
      int count = data.ConsumeIntegralInRange(0, 4);
      for (int i = 0; i < count; ++i) {
        if (element[0] == '{') {
          const std::string inner = element.substr(1, element.size() - 2);
          if (sd_bus_message_open_container(m, 'e', inner.c_str()) < 0) return;
          append(m, data, inner, depth + 1);
          (void)sd_bus_message_close_container(m);
        } else {
          append(m, data, element, depth + 1);
        }
      }
      (void)sd_bus_message_close_container(m);
    } else if (one[0] == '(') {
      const std::string inner = one.substr(1, one.size() - 2);
      if (sd_bus_message_open_container(m, 'r', inner.c_str()) < 0) return;
      append(m, data, inner, depth + 1);
      (void)sd_bus_message_close_container(m);
    } else if (one == "v") {
      // Mostly the types the back-end reads, sometimes anything, variants within variants.
      static const std::vector<std::string> usual = {"ay", "b", "n", "s", "as", "o", "a{sv}", "v"};
      std::string inner = data.ConsumeBool() ? signature(data, depth + 1) : pick(data, usual);
      if (depth >= kMaxDepth && inner.find('v') != std::string::npos) inner = "y";
      if (sd_bus_message_open_container(m, 'v', inner.c_str()) < 0) return;
      append(m, data, inner, depth + 1);
      (void)sd_bus_message_close_container(m);
    } else {
      appendBasic(m, data, one[0]);
    }
  }
}

struct Signal {
  std::string sender, path, interface, member;
  bool addressed = false;
};

Signal header(FuzzedDataProvider& data) {
  Signal s;
  s.sender = pick(data, {kOwner, ":1.99", kBus, "", "org.bluez"});
  s.addressed = data.ConsumeBool();
  s.path = pick(data, {"/", "/org/bluez/hci0", "/org/bluez/hci0/dev_11_22_33_44_55_66",
                       "/org/bluez/hci0/dev_11_22_33_44_55_66/service000a/char000b", kBusPath});
  s.interface = pick(data, {"org.freedesktop.DBus.ObjectManager", "org.freedesktop.DBus.Properties", kBus,
                            "org.bluez.Device1"});
  s.member = pick(data, {"InterfacesAdded", "InterfacesRemoved", "PropertiesChanged", "NameOwnerChanged"});
  return s;
}

std::string body(FuzzedDataProvider& data) {
  // The shapes the back-end expects, then anything.
  return pick(data, {"oa{sa{sv}}", "oas", "sa{sv}as", "sss", ""}) + (data.ConsumeBool() ? signature(data, 0) : "");
}

bool foreign(const Signal& s, const std::string& owner, bool hasSender) {
  if (s.addressed) return true;
  if (s.interface == kBus && s.member == "NameOwnerChanged") return !(hasSender && s.sender == kBus && s.path == kBusPath);
  return owner.empty() || !hasSender || s.sender != owner;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  lumo::fuzz::quietSandbox();
  static sdbus::internal::ISdBus* library = Access::library(sdbus::createPlainMessage());
  FuzzedDataProvider data(bytes, size);
  BluezSignalReader reader;
  reader.setOwner(kOwner);
  for (int round = 0; round < 8 && data.remaining_bytes() > 0; ++round) {
    Signal s = header(data);
    const std::string types = body(data);
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_signal(pseudoBus(), &m, s.path.c_str(), s.interface.c_str(), s.member.c_str()) < 0) continue;
    Received message(m, library);
    bool hasSender = !s.sender.empty() && sd_bus_message_set_sender(m, s.sender.c_str()) >= 0;
    if (s.addressed && sd_bus_message_set_destination(m, ":1.5") < 0) s.addressed = false;
    append(m, data, types, 0);
    if (sd_bus_message_seal(m, static_cast<std::uint64_t>(round) + 1, 0) < 0) continue;

    const std::string ownerBefore = reader.owner();
    const std::uint64_t droppedBefore = reader.dropped();
    auto event = reader.read(message);
    if (foreign(s, ownerBefore, hasSender)) {
      require(!event || event->kind == Kind::problem, "a foreign signal is never believed");
      require(reader.owner() == ownerBefore, "a foreign signal never moves the owner");
      require(reader.dropped() == droppedBefore + 1, "every foreign signal is counted");
      continue;
    }
    require(reader.dropped() == droppedBefore, "a signal that counts is not counted as dropped");
    if (!event) continue;
    if (event->kind != Kind::serviceAppeared && event->kind != Kind::serviceVanished) {
      require(reader.owner() == ownerBefore, "only a change of owner moves the owner");
    }
    if (event->kind == Kind::propertiesChanged) {
      auto value = event->properties.find("Value");
      if (value != event->properties.end()) {
        const auto* valueBytes = std::get_if<platform::Bytes>(&value->second);
        require(!valueBytes || valueBytes->size() <= platform::ble::bluez::kMaxValueBytes,
                "no value longer than a peripheral can hold");
      }
    }
  }
  return 0;
}
