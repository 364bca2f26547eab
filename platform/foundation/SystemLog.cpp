#include "platform/foundation/SystemLog.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace platform::foundation {
namespace {

struct Log {
  std::mutex mutex;
  SystemLog::Sink sink;
};

Log& systemLog() {
  static Log* instance = new Log;  // outlives static destructors of other objects
  return *instance;
}

}  // namespace

const char* SystemLog::levelName(Level level) {
  switch (level) {
    case Level::debug: return "debug";
    case Level::info: return "info";
    case Level::error: return "error";
    case Level::fault: return "fault";
  }
  return "?";
}

void SystemLog::write(Level level, std::string_view message) {
  Log& log = systemLog();
  std::lock_guard lock(log.mutex);
  if (log.sink) {
    log.sink(level, message);
    return;
  }
  std::string line = std::string("[") + levelName(level) + "] ";
  line.append(message);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void SystemLog::setSink(Sink sink) {
  Log& log = systemLog();
  std::lock_guard lock(log.mutex);
  log.sink = std::move(sink);
}

}  // namespace platform::foundation
