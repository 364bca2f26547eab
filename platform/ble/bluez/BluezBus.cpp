#include "platform/ble/bluez/BluezBus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <sdbus-c++/sdbus-c++.h>
#include <thread>
#include <unordered_map>

#include "platform/ble/bluez/BluezMessages.h"
#include "platform/ble/bluez/BluezSignalReader.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"

namespace platform::ble {

namespace {

using dispatch::DispatchQueue;
using bluez::SdProperties;

// BlueZ answers within its own 25 s limit; a little more here so its error wins.
constexpr std::uint64_t kCallTimeoutMicros = 30'000'000;
constexpr const char* kObjectManager = "org.freedesktop.DBus.ObjectManager";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
// The start of the line that says events are being dropped (itself never dropped).
constexpr const char* kBehind = "BlueZ: the main queue is behind";

}  // namespace

struct BluezBus::Impl : std::enable_shared_from_this<BluezBus::Impl> {
  using Job = std::function<void()>;

  explicit Impl(EventHandler handler) : handler(std::move(handler)) {
    wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  }
  ~Impl() {
    if (wakeFd >= 0) ::close(wakeFd);
  }

  // ---- any thread ----
  void enqueue(Job job) {
    {
      std::lock_guard lock(mutex);
      jobs.push_back(std::move(job));
    }
    wake();
  }
  void wake() {
    std::uint64_t one = 1;
    if (wakeFd >= 0) (void)!::write(wakeFd, &one, sizeof one);
  }
  void requestStop() {
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    wake();
  }

  // ---- bus thread ----
  void postEvent(Event event) {
    closeValueBatch();
    std::string source = sourceOf(event);
    if (!source.empty()) {
      auto admission = backlog->admit(source);
      if (!admission.line.empty()) postProblem(std::move(admission.line));
      if (!admission.admitted) return;
      DispatchQueue::main()->async(
          [handler = handler, backlog = backlog, source = std::move(source), event = std::move(event)] {
            backlog->release(source);
            handler(event);
          });
      return;
    }
    DispatchQueue::main()->async([handler = handler, event = std::move(event)] { handler(event); });
  }

  // Which backlog an event counts against: the object it concerns, or for a console line the
  // lines as a whole; empty for events that always go through: those about the bus and the
  // service, and those that end or change a link or an adapter's power, which a session must
  // hear however far behind the main thread is (only the owner of org.bluez gets this far).
  static std::string sourceOf(const Event& event) {
    switch (event.kind) {
      case Event::Kind::interfacesRemoved:
        return {};
      case Event::Kind::propertiesChanged:
        if (changesLinkState(event)) return {};
        return event.path.empty() ? std::string("(no path)") : event.path;
      case Event::Kind::interfacesAdded:
        return event.path.empty() ? std::string("(no path)") : event.path;
      case Event::Kind::problem:
        return event.text.rfind(kBehind, 0) == 0 ? std::string() : std::string("(lines)");
      default:
        return {};
    }
  }
  static bool changesLinkState(const Event& event) {
    for (const char* name : {"Connected", "ServicesResolved", "Powered"}) {
      if (event.properties.count(name) != 0 ||
          std::find(event.names.begin(), event.names.end(), name) != event.names.end()) {
        return true;
      }
    }
    return false;
  }
  void postProblem(std::string text) {
    Event event;
    event.kind = Event::Kind::problem;
    event.text = std::move(text);
    postEvent(std::move(event));
  }
  void postReply(const ReplyHandler& onReply, Reply reply) {
    closeValueBatch();
    DispatchQueue::main()->async([onReply, reply = std::move(reply)] { onReply(reply); });
  }

  void run() {
    try {
      connection = sdbus::createSystemBusConnection();
      subscribe();
    } catch (const sdbus::Error& error) {
      lose("cannot open the system bus: " + error.getMessage());
    }
    while (true) {
      std::deque<Job> ready;
      {
        std::lock_guard lock(mutex);
        if (stopping) break;
        ready.swap(jobs);
      }
      std::uint64_t drained = 0;
      (void)!::read(wakeFd, &drained, sizeof drained);
      for (auto& job : ready) job();
      pollOnce();
    }
    // Jobs never run hold the bus; sd-bus objects die on the thread that used them.
    std::deque<Job> unrun;
    {
      std::lock_guard lock(mutex);
      unrun.swap(jobs);
    }
    unrun.clear();
    proxies.clear();
    slots.clear();
    connection.reset();
  }

  void pollOnce() {
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {-1, 0, 0}};
    int timeoutMs = -1;
    if (connection) {
      try {
        while (connection->processPendingRequest()) {
        }
        auto data = connection->getEventLoopPollData();
        fds[1] = {data.fd, data.events, 0};
        if (auto relative = data.getRelativeTimeout()) {
          timeoutMs = static_cast<int>(std::min<std::int64_t>((relative->count() + 999) / 1000, 60'000));
        }
      } catch (const sdbus::Error& error) {
        lose("the bus connection ended: " + error.getMessage());
      }
    }
    ::poll(fds, connection ? 2 : 1, timeoutMs);
  }

  void lose(const std::string& why) {
    proxies.clear();
    slots.clear();
    connection.reset();
    Event event;
    event.kind = Event::Kind::busLost;
    event.text = why;
    postEvent(std::move(event));
  }

  void subscribe() {
    // The rules only spare the bus thread traffic; what is believed, the reader decides.
    const std::string fromBluez = "type='signal',sender='org.bluez',";
    slots.push_back(connection->addMatch(fromBluez + "interface='" + kObjectManager + "'",
                                         [this](sdbus::Message& message) { onSignal(message); }));
    slots.push_back(connection->addMatch(
        fromBluez + "interface='" + kProperties + "',member='PropertiesChanged',path_namespace='/org/bluez'",
        [this](sdbus::Message& message) { onSignal(message); }));
    slots.push_back(connection->addMatch(
        "type='signal',sender='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.bluez'",
        [this](sdbus::Message& message) { onSignal(message); }));
    // Asked after subscribing, so no change of hands falls between the answer and the signals.
    reader.setOwner(askOwner());
  }

  std::string askOwner() {
    try {
      auto driver = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
      std::string owner;
      driver->callMethod("GetNameOwner").onInterface("org.freedesktop.DBus").withArguments(std::string(bluez::kService))
          .storeResultsTo(owner);
      return owner;
    } catch (const sdbus::Error&) {
      return {};  // nobody owns it yet: NameOwnerChanged will say who does
    }
  }

  void onSignal(sdbus::Message& message) {
    auto event = reader.read(message);
    if (!event) return;
    if (event->kind == Event::Kind::propertiesChanged && event->interface == bluez::kGattCharacteristic &&
        event->properties.count("Value")) {
      postValueChange(std::move(*event));
      return;
    }
    postEvent(std::move(*event));
  }

  // Value changes are the only signals that can arrive in bulk. Consecutive ones gather in a
  // batch that one main-queue block delivers; any other event closes the batch, so the order
  // of events is kept. At most kMaxPendingValues wait in all; past that the oldest go, as the
  // newest value is the one that matters.
  void postValueChange(Event event) {
    std::lock_guard lock(values->mutex);
    if (values->waiting >= static_cast<std::size_t>(kMaxPendingValues)) {
      for (auto& batch : values->open) {
        if (batch->empty()) continue;
        batch->pop_front();
        --values->waiting;
        ++values->dropped;
        break;
      }
    }
    ++values->waiting;
    if (values->collecting) {
      values->collecting->push_back(std::move(event));
      return;
    }
    auto batch = std::make_shared<std::deque<Event>>();
    batch->push_back(std::move(event));
    values->open.push_back(batch);
    values->collecting = batch;
    DispatchQueue::main()->async([handler = handler, values = values, batch] {
      std::deque<Event> ready;
      std::size_t dropped = 0;
      {
        std::lock_guard lock(values->mutex);
        ready.swap(*batch);
        values->waiting -= ready.size();
        std::swap(dropped, values->dropped);
        std::erase(values->open, batch);
        if (values->collecting == batch) values->collecting.reset();
      }
      if (dropped > 0) {
        Event problem;
        problem.text = "BlueZ: dropped " + std::to_string(dropped) + " value changes while the main queue was behind";
        handler(problem);
      }
      for (const auto& event : ready) handler(event);
    });
  }

  void closeValueBatch() {
    std::lock_guard lock(values->mutex);
    values->collecting.reset();
  }

  sdbus::IProxy& proxyFor(const std::string& path) {
    auto it = proxies.find(path);
    if (it == proxies.end()) {
      it = proxies.emplace(path, sdbus::createProxy(*connection, bluez::kService, path)).first;
    }
    return *it->second;
  }

  void perform(const Call& call, const ReplyHandler& onReply) {
    Reply failure;
    failure.errorName = "org.freedesktop.DBus.Error.Disconnected";
    failure.errorMessage = "The bus connection is closed.";
    if (!connection) {
      postReply(onReply, std::move(failure));
      return;
    }
    try {
      auto& proxy = proxyFor(call.path);
      auto message = proxy.createMethodCall(call.interface, call.method);
      if (call.bytes) message << *call.bytes;
      if (call.withOptions) {
        SdProperties options;
        for (const auto& [key, value] : call.options) {
          if (const auto* text = std::get_if<std::string>(&value)) options.emplace(key, sdbus::Variant(*text));
          if (const auto* flag = std::get_if<bool>(&value)) options.emplace(key, sdbus::Variant(*flag));
        }
        message << options;
      }
      auto expect = call.expect;
      auto method = call.method;
      proxy.callMethod(
          message,
          [this, onReply, expect, method](sdbus::MethodReply& reply, const sdbus::Error* error) {
            postReply(onReply, bluez::readReply(reply, error, expect, method));
          },
          kCallTimeoutMicros);
    } catch (const sdbus::Error& error) {
      failure.errorName = error.getName();
      failure.errorMessage = error.getMessage();
      postReply(onReply, std::move(failure));
    }
  }

  EventHandler handler;
  int wakeFd = -1;
  std::mutex mutex;
  std::deque<Job> jobs;
  bool stopping = false;
  std::thread thread;
  // Bus-thread state.
  std::unique_ptr<sdbus::IConnection> connection;
  std::vector<sdbus::Slot> slots;
  std::unordered_map<std::string, std::unique_ptr<sdbus::IProxy>> proxies;
  bluez::BluezSignalReader reader;
  struct ValueQueue {
    std::mutex mutex;
    std::vector<std::shared_ptr<std::deque<Event>>> open;  // posted, not yet delivered
    std::shared_ptr<std::deque<Event>> collecting;         // the batch later values join
    std::size_t waiting = 0;
    std::size_t dropped = 0;
  };
  std::shared_ptr<ValueQueue> values = std::make_shared<ValueQueue>();

  // Events posted to the main queue and not yet handled, per source; shared with the blocks.
  struct Backlog {
    struct Admission {
      bool admitted = true;
      std::string line;  // the console line of a source's first drop
    };
    std::mutex mutex;
    std::map<std::string, std::size_t> pending;
    std::size_t total = 0;
    std::uint64_t dropped = 0;
    std::set<std::string> named;

    Admission admit(const std::string& source) {
      std::lock_guard lock(mutex);
      auto it = pending.find(source);
      std::size_t waiting = it == pending.end() ? 0 : it->second;
      if (waiting < kMaxPendingEventsPerSource && total < kMaxPendingEvents) {
        ++pending[source];
        ++total;
        return {};
      }
      ++dropped;
      if (named.size() >= bluez::BluezSignalReader::kMaxNamedSenders || !named.insert(source).second) {
        return {false, {}};
      }
      return {false, std::string(kBehind) + "; dropping events about " + source + " (" + std::to_string(dropped) +
                         " dropped so far)"};
    }
    void release(const std::string& source) {
      std::lock_guard lock(mutex);
      auto it = pending.find(source);
      if (it == pending.end()) return;
      --total;
      if (--it->second == 0) pending.erase(it);
    }
  };
  std::shared_ptr<Backlog> backlog = std::make_shared<Backlog>();
};

BluezBus::BluezBus(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::shared_ptr<BluezBus> BluezBus::start(EventHandler handler) {
  auto impl = std::make_shared<Impl>(std::move(handler));
  // The thread keeps its own reference: a bus dropped from its own thread cannot join it.
  impl->thread = std::thread([impl] { impl->run(); });
  return std::shared_ptr<BluezBus>(new BluezBus(std::move(impl)));
}

BluezBus::~BluezBus() {
  impl_->requestStop();
  if (impl_->thread.joinable()) {
    if (impl_->thread.get_id() == std::this_thread::get_id()) {
      impl_->thread.detach();
    } else {
      impl_->thread.join();
    }
  }
}

void BluezBus::call(Call call, ReplyHandler onReply) {
  // A call counts as work in flight until its reply has run, as a network transfer does, so a
  // virtual clock does not jump past an answer that is on its way.
  auto pending = std::make_shared<dispatch::Scheduler::WorkToken>();
  ReplyHandler answered = [pending, onReply = std::move(onReply)](const Reply& reply) mutable {
    onReply(reply);
    pending.reset();
  };
  impl_->enqueue([impl = impl_, call = std::move(call), answered = std::move(answered)] {
    impl->perform(call, answered);
  });
}

}  // namespace platform::ble
