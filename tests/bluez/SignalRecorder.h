#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <sdbus-c++/sdbus-c++.h>

namespace lumo::test {

// A plain sdbus-c++ client of the mocked BlueZ that records every signal org.bluez sends
// (PropertiesChanged, InterfacesAdded, InterfacesRemoved) on its own bus thread, and lets a
// test wait, bounded in real time, until what it expects has arrived.
class SignalRecorder {
 public:
  struct Signal {
    std::string path;
    std::string member;
    std::string interface;                          // PropertiesChanged: the changed interface
    std::map<std::string, sdbus::Variant> changed;  // PropertiesChanged
    std::string objectPath;                         // InterfacesAdded/Removed: the object
    std::vector<std::string> interfaces;            // InterfacesAdded/Removed
  };

  SignalRecorder();
  ~SignalRecorder();

  // Waits until `condition` holds for the signals so far; false after `seconds`.
  bool waitFor(const std::function<bool(const std::vector<Signal>&)>& condition, double seconds = 3);
  std::vector<Signal> signals() const;
  // The values `property` of `interface` took on `path` in `signals`, in arrival order.
  static std::vector<sdbus::Variant> changesIn(const std::vector<Signal>& signals, const std::string& path,
                                               const std::string& interface, const std::string& property);
  // The same over every signal so far (not from inside a waitFor condition).
  std::vector<sdbus::Variant> changes(const std::string& path, const std::string& interface,
                                      const std::string& property) const;
  bool waitForChanges(const std::string& path, const std::string& interface, const std::string& property,
                      std::size_t count, double seconds = 3);
  void clear();

 private:
  std::unique_ptr<sdbus::IConnection> connection_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Signal> signals_;
};

}  // namespace lumo::test
