#include "platform/foundation/ConsoleLog.h"

#include <sys/uio.h>
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

// One writev per line, so lines from several threads never interleave mid-line.
void writeLine(int fd, std::initializer_list<std::string_view> parts) {
  constexpr size_t kMaxParts = 8;
  iovec vectors[kMaxParts + 1];
  size_t count = 0;
  for (std::string_view part : parts) {
    if (count == kMaxParts) break;
    vectors[count++] = {const_cast<char*>(part.data()), part.size()};
  }
  static char newline = '\n';
  vectors[count++] = {&newline, 1};
  size_t index = 0;
  while (index < count) {
    ssize_t written = ::writev(fd, vectors + index, static_cast<int>(count - index));
    if (written <= 0) return;  // a closed or full console loses the line, never the caller
    size_t left = static_cast<size_t>(written);
    while (index < count && left >= vectors[index].iov_len) left -= vectors[index++].iov_len;
    if (index < count) {
      vectors[index].iov_base = static_cast<char*>(vectors[index].iov_base) + left;
      vectors[index].iov_len -= left;
    }
  }
}

}  // namespace

void ConsoleLog::write(std::string_view line) { write({line}); }

void ConsoleLog::write(std::initializer_list<std::string_view> parts) {
  Console& c = console();
  std::lock_guard lock(c.mutex);
  if (c.sink) {
    std::string line;
    for (std::string_view part : parts) line.append(part);
    c.sink(line);
    return;
  }
  writeLine(c.fd, parts);
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
