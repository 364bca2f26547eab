#include "platform/ui/HapticFeedback.h"

#include <mutex>

#include "platform/ui/DisplayLink.h"

namespace platform::ui {
namespace {
std::mutex mutex;
ImpactFeedbackGenerator::Observer& observer() {
  static ImpactFeedbackGenerator::Observer shared;
  return shared;
}
std::vector<ImpactFeedbackGenerator::Impact>& impacts() {
  static std::vector<ImpactFeedbackGenerator::Impact> list;
  return list;
}
}  // namespace

void ImpactFeedbackGenerator::impactOccurred() {
  Impact impact{style_, mediaTime()};
  Observer notify;
  {
    std::lock_guard lock(mutex);
    impacts().push_back(impact);
    notify = observer();
  }
  // Outside the lock: the observer may impact again or replace itself.
  if (notify) notify(impact);
}

void ImpactFeedbackGenerator::setObserver(Observer newObserver) {
  std::lock_guard lock(mutex);
  observer() = std::move(newObserver);
}

std::vector<ImpactFeedbackGenerator::Impact> ImpactFeedbackGenerator::recordedImpacts() {
  std::lock_guard lock(mutex);
  return impacts();
}

void ImpactFeedbackGenerator::resetForTesting() {
  std::lock_guard lock(mutex);
  impacts().clear();
  observer() = nullptr;
}

}  // namespace platform::ui
