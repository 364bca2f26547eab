#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/SystemLog.h"

namespace lumo::test {

// Base fixture of every suite that touches time, the console or the sandbox: a fresh virtual
// clock, console and system-log lines recorded instead of printed, and a private sandbox
// folder (LUMO_SANDBOX_DIR) removed afterwards.
class VirtualTimeTest : public ::testing::Test {
 protected:
  VirtualTimeTest() = default;
  // Suites that talk to real processes (a D-Bus daemon) keep the system clock instead.
  explicit VirtualTimeTest(bool virtualClock) : virtualClock_(virtualClock) {}

  void SetUp() override;
  void TearDown() override;

  // Drives the main loop in virtual time.
  void runFor(platform::dispatch::Seconds duration);
  bool runUntil(const std::function<bool()>& condition,
                platform::dispatch::Seconds timeLimit = std::chrono::seconds(60));

  std::vector<std::string> consoleLines() const;
  std::vector<std::pair<platform::foundation::SystemLog::Level, std::string>> systemLogLines() const;
  bool consoleHas(const std::string& line) const;
  bool systemLogHas(const std::string& message) const;
  void clearRecordedLines();

  const std::filesystem::path& sandboxDir() const { return sandbox_; }

 private:
  bool virtualClock_ = true;
  mutable std::mutex mutex_;
  std::vector<std::string> console_;
  std::vector<std::pair<platform::foundation::SystemLog::Level, std::string>> systemLog_;
  std::filesystem::path sandbox_;
};

}  // namespace lumo::test
