#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/ble/bluez/BluezValue.h"

namespace platform::ble {

// Private to the BlueZ back-end: one connection to the system bus, served by a thread of its
// own. Every sd-bus call happens on that thread; what the bus says is copied into plain
// values there and handed to the main queue. Nothing here blocks the caller or throws.
class BluezBus {
 public:
  struct Event {
    enum class Kind {
      interfacesAdded,    // path, interfaces
      interfacesRemoved,  // path, names (interface names)
      propertiesChanged,  // path, interface, properties, names (invalidated properties)
      serviceAppeared,    // org.bluez got an owner: list the objects again
      serviceVanished,    // org.bluez lost its owner
      busLost,            // the connection is gone for good; text says why
      problem,            // something malformed was ignored; text is the console line
    };
    Kind kind = Kind::problem;
    std::string path;
    std::string interface;
    BluezInterfaces interfaces;
    BluezProperties properties;
    std::vector<std::string> names;
    std::string text;
  };

  struct Call {
    Call(std::string path, std::string interface, std::string method)
        : path(std::move(path)), interface(std::move(interface)), method(std::move(method)) {}
    std::string path;
    std::string interface;
    std::string method;
    std::optional<Bytes> bytes;  // first argument "ay" when set
    bool withOptions = false;    // then an "a{sv}" argument follows
    std::map<std::string, std::variant<std::string, bool>> options;
    enum class Expect { nothing, bytes, acquiredWrite, objects } expect = Expect::nothing;
  };

  struct Reply {
    std::optional<std::string> errorName;  // set when the call failed
    std::string errorMessage;
    std::optional<Bytes> bytes;
    std::optional<int> mtu;
    std::map<std::string, BluezInterfaces> objects;
    bool ok() const { return !errorName; }
  };

  using EventHandler = std::function<void(const Event&)>;
  using ReplyHandler = std::function<void(const Reply&)>;

  // Opens the system bus (DBUS_SYSTEM_BUS_ADDRESS where set) on the bus thread. Events reach
  // `handler` on the main queue; a bus that cannot be opened reports busLost.
  static std::shared_ptr<BluezBus> start(EventHandler handler);
  ~BluezBus();
  BluezBus(const BluezBus&) = delete;
  BluezBus& operator=(const BluezBus&) = delete;

  // Queues a method call to org.bluez; the reply (or the failure) reaches `onReply` on the
  // main queue. Callable from any thread.
  void call(Call call, ReplyHandler onReply);

  // Value changes waiting for the main queue are capped; beyond this many the oldest are dropped
  // (and counted in a console line) so a notification storm cannot swamp the main thread.
  static constexpr int kMaxPendingValues = 256;
  // Other events waiting for the main queue are capped per object they concern (and in all);
  // past that new ones about that object are dropped, the first drop per object said in a line.
  // Events about the bus and the service itself, an object's removal and a change of a link
  // or an adapter's power ("Connected", "ServicesResolved", "Powered") are never dropped.
  static constexpr std::size_t kMaxPendingEventsPerSource = 64;
  static constexpr std::size_t kMaxPendingEvents = 1024;

  struct Impl;

 private:
  explicit BluezBus(std::shared_ptr<Impl> impl);
  std::shared_ptr<Impl> impl_;
};

}  // namespace platform::ble
