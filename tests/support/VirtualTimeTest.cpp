#include "tests/support/VirtualTimeTest.h"

#include <stdlib.h>

#include <algorithm>

#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/UserDefaults.h"

namespace lumo::test {

using platform::foundation::ConsoleLog;
using platform::foundation::SystemLog;

void VirtualTimeTest::SetUp() {
  if (virtualClock_) platform::dispatch::Scheduler::useVirtualClock();
  ConsoleLog::setSink([this](std::string_view line) {
    std::lock_guard lock(mutex_);
    console_.emplace_back(line);
  });
  SystemLog::setSink([this](SystemLog::Level level, std::string_view message) {
    std::lock_guard lock(mutex_);
    systemLog_.emplace_back(level, std::string(message));
  });
  std::string pattern = (std::filesystem::temp_directory_path() / "lumo-test-XXXXXX").string();
  if (char* made = ::mkdtemp(pattern.data())) sandbox_ = made;
  ::setenv("LUMO_SANDBOX_DIR", sandbox_.c_str(), 1);
  // Process-wide facts start clean when one program runs many tests.
  platform::foundation::UserDefaults::resetStandardForTesting();
  platform::foundation::BundleInfo::main().resetForTesting();
}

void VirtualTimeTest::TearDown() {
  ConsoleLog::setSink(nullptr);
  SystemLog::setSink(nullptr);
  std::error_code ignored;
  if (!sandbox_.empty()) std::filesystem::remove_all(sandbox_, ignored);
}

void VirtualTimeTest::runFor(platform::dispatch::Seconds duration) {
  platform::dispatch::MainLoop::runFor(duration);
}

bool VirtualTimeTest::runUntil(const std::function<bool()>& condition,
                               platform::dispatch::Seconds timeLimit) {
  return platform::dispatch::MainLoop::runUntil(condition, timeLimit);
}

// Readers of the console first have the logger's waiting lines written, as a reader of a
// phone's console sees a line once its call returned.
std::vector<std::string> VirtualTimeTest::consoleLines() const {
  ConsoleLog::flush();
  std::lock_guard lock(mutex_);
  return console_;
}

std::vector<std::pair<SystemLog::Level, std::string>> VirtualTimeTest::systemLogLines() const {
  std::lock_guard lock(mutex_);
  return systemLog_;
}

bool VirtualTimeTest::consoleHas(const std::string& line) const {
  ConsoleLog::flush();
  std::lock_guard lock(mutex_);
  return std::find(console_.begin(), console_.end(), line) != console_.end();
}

bool VirtualTimeTest::systemLogHas(const std::string& message) const {
  std::lock_guard lock(mutex_);
  return std::any_of(systemLog_.begin(), systemLog_.end(),
                     [&](const auto& entry) { return entry.second == message; });
}

void VirtualTimeTest::clearRecordedLines() {
  ConsoleLog::flush();  // lines of earlier calls must not turn up after the clearing
  std::lock_guard lock(mutex_);
  console_.clear();
  systemLog_.clear();
}

}  // namespace lumo::test
