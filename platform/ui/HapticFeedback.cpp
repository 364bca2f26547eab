#include "platform/ui/HapticFeedback.h"

#include <mutex>

#include "platform/ui/DisplayLink.h"

namespace platform::ui {
namespace {
std::mutex mutex;
std::vector<ImpactFeedbackGenerator::Impact>& impacts() {
  static std::vector<ImpactFeedbackGenerator::Impact> list;
  return list;
}
}  // namespace

void ImpactFeedbackGenerator::impactOccurred() {
  std::lock_guard lock(mutex);
  impacts().push_back({style_, mediaTime()});
}

std::vector<ImpactFeedbackGenerator::Impact> ImpactFeedbackGenerator::recordedImpacts() {
  std::lock_guard lock(mutex);
  return impacts();
}

void ImpactFeedbackGenerator::resetForTesting() {
  std::lock_guard lock(mutex);
  impacts().clear();
}

}  // namespace platform::ui
