#include "platform/foundation/ConsoleLog.h"

#include <unistd.h>

#include <mutex>
#include <string>

namespace platform::foundation {
namespace {

struct Console {
  std::mutex mutex;
  ConsoleLog::Sink sink;
  int fd = STDERR_FILENO;
};

Console& console() {
  static Console* instance = new Console;  // outlives static destructors of other objects
  return *instance;
}

void writeAll(int fd, const std::string& text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written <= 0) return;  // a closed or full console loses the line, never the caller
    data += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace

void ConsoleLog::write(std::string_view line) {
  Console& c = console();
  std::lock_guard lock(c.mutex);
  if (c.sink) {
    c.sink(line);
    return;
  }
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text.push_back('\n');
  writeAll(c.fd, text);
}

void ConsoleLog::setSink(Sink sink) {
  Console& c = console();
  std::lock_guard lock(c.mutex);
  c.sink = std::move(sink);
}

void ConsoleLog::setFileDescriptor(int fd) {
  Console& c = console();
  std::lock_guard lock(c.mutex);
  c.fd = fd;
}

}  // namespace platform::foundation
