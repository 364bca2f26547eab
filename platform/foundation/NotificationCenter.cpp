#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <atomic>

namespace platform::foundation {

struct NotificationCenter::Observer {
  Token token;
  std::string name;
  Block block;
  // Cleared on removal, so a post that took its snapshot earlier skips the block.
  std::atomic<bool> active{true};
};

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter;  // outlives static destructors
  return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Block block) {
  auto observer = std::make_shared<Observer>();
  observer->name = std::move(name);
  observer->block = std::move(block);
  std::lock_guard lock(mutex_);
  observer->token = nextToken_++;
  observers_.push_back(observer);
  return observer->token;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, std::function<void()> block) {
  return addObserver(std::move(name), [block = std::move(block)](const Notification&) {
    if (block) block();
  });
}

void NotificationCenter::removeObserver(Token token) {
  std::lock_guard lock(mutex_);
  auto found = std::find_if(observers_.begin(), observers_.end(),
                            [token](const auto& observer) { return observer->token == token; });
  if (found == observers_.end()) return;
  (*found)->active = false;
  observers_.erase(found);
}

void NotificationCenter::post(std::string_view name, std::map<std::string, std::string> userInfo) {
  std::vector<std::shared_ptr<Observer>> matching;
  {
    std::lock_guard lock(mutex_);
    for (const auto& observer : observers_) {
      if (observer->name.empty() || observer->name == name) matching.push_back(observer);
    }
  }
  const Notification notification{std::string(name), std::move(userInfo)};
  // The snapshot keeps each block alive even if its observer removes itself while running.
  for (const auto& observer : matching) {
    if (observer->active && observer->block) observer->block(notification);
  }
}

}  // namespace platform::foundation
