#include "tests/bluez/SignalRecorder.h"

#include <chrono>

namespace lumo::test {

SignalRecorder::SignalRecorder() : connection_(sdbus::createSystemBusConnection()) {
  connection_->addMatch("type='signal',sender='org.bluez'", [this](sdbus::Message& message) {
    Signal signal;
    signal.path = message.getPath();
    signal.member = message.getMemberName();
    if (signal.member == "PropertiesChanged") {
      message >> signal.interface >> signal.changed;
    } else if (signal.member == "InterfacesAdded") {
      sdbus::ObjectPath object;
      std::map<std::string, std::map<std::string, sdbus::Variant>> interfaces;
      message >> object >> interfaces;
      signal.objectPath = object;
      for (const auto& [name, properties] : interfaces) signal.interfaces.push_back(name);
    } else if (signal.member == "InterfacesRemoved") {
      sdbus::ObjectPath object;
      message >> object >> signal.interfaces;
      signal.objectPath = object;
    } else {
      return;
    }
    std::lock_guard lock(mutex_);
    signals_.push_back(std::move(signal));
    arrived_.notify_all();
  }, sdbus::floating_slot);
  connection_->enterEventLoopAsync();
}

SignalRecorder::~SignalRecorder() {
  connection_->leaveEventLoop();
  std::lock_guard lock(mutex_);
  signals_.clear();
}

bool SignalRecorder::waitFor(const std::function<bool(const std::vector<Signal>&)>& condition, double seconds) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return condition(signals_); });
}

std::vector<SignalRecorder::Signal> SignalRecorder::signals() const {
  std::lock_guard lock(mutex_);
  return signals_;
}

std::vector<sdbus::Variant> SignalRecorder::changes(const std::string& path, const std::string& interface,
                                                    const std::string& property) const {
  std::lock_guard lock(mutex_);
  return changesIn(signals_, path, interface, property);
}

std::vector<sdbus::Variant> SignalRecorder::changesIn(const std::vector<Signal>& signals, const std::string& path,
                                                      const std::string& interface, const std::string& property) {
  std::vector<sdbus::Variant> values;
  for (const auto& signal : signals) {
    if (signal.member != "PropertiesChanged" || signal.path != path || signal.interface != interface) continue;
    if (auto it = signal.changed.find(property); it != signal.changed.end()) values.push_back(it->second);
  }
  return values;
}

bool SignalRecorder::waitForChanges(const std::string& path, const std::string& interface,
                                    const std::string& property, std::size_t count, double seconds) {
  return waitFor([&](const std::vector<Signal>& all) { return changesIn(all, path, interface, property).size() >= count; },
                 seconds);
}

void SignalRecorder::clear() {
  std::lock_guard lock(mutex_);
  signals_.clear();
}

}  // namespace lumo::test
