#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/PlatformExport.h"

namespace platform::foundation {

struct LUMO_PLATFORM_EXPORT Notification {
  std::string name;
  std::map<std::string, std::string> userInfo;
};

// The process's notification centre: observers register a block for a name, posters send a
// name (and optional user info), and every matching block runs synchronously on the posting
// thread, in registration order. Observers may add or remove observers (themselves included)
// from inside a block: a block removed during a post does not run afterwards. Thread-safe; no
// lock is held while a block runs.
class LUMO_PLATFORM_EXPORT NotificationCenter {
 public:
  using Token = std::uint64_t;  // 0 never names an observer
  using Block = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // An empty name observes every notification.
  Token addObserver(std::string name, Block block);
  Token addObserver(std::string name, std::function<void()> block);
  // Removing an unknown or already removed token does nothing.
  void removeObserver(Token token);

  void post(std::string_view name, std::map<std::string, std::string> userInfo = {});

 private:
  struct Observer;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Observer>> observers_;
  Token nextToken_ = 1;
};

}  // namespace platform::foundation
