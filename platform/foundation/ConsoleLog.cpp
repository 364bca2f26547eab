#include "platform/foundation/ConsoleLog.h"

#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

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

std::atomic<ConsoleLog::Backlog> backlog{nullptr};

// Writes every vector, resuming after a partial write. Callers hold the console's mutex, so
// lines of several threads never interleave mid-line.
void writeAll(int fd, iovec* vectors, size_t count) {
  size_t index = 0;
  while (index < count) {
    size_t batch = std::min<size_t>(count - index, IOV_MAX);
    ssize_t written = ::writev(fd, vectors + index, static_cast<int>(batch));
    if (written <= 0) return;  // a closed or full console loses the line, never the caller
    size_t left = static_cast<size_t>(written);
    while (index < count && left >= vectors[index].iov_len) left -= vectors[index++].iov_len;
    if (index < count) {
      vectors[index].iov_base = static_cast<char*>(vectors[index].iov_base) + left;
      vectors[index].iov_len -= left;
    }
  }
}

char newline = '\n';

void writeLine(int fd, std::initializer_list<std::string_view> parts) {
  constexpr size_t kMaxParts = 8;
  iovec vectors[kMaxParts + 1];
  size_t count = 0;
  for (std::string_view part : parts) {
    if (count == kMaxParts) break;
    vectors[count++] = {const_cast<char*>(part.data()), part.size()};
  }
  vectors[count++] = {&newline, 1};
  writeAll(fd, vectors, count);
}

void writeDirect(std::initializer_list<std::string_view> parts) {
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

}  // namespace

void ConsoleLog::write(std::string_view line) { write({line}); }

void ConsoleLog::write(std::initializer_list<std::string_view> parts) {
  flush();
  writeDirect(parts);
}

void ConsoleLog::writeFromBacklog(std::span<const Line> lines) {
  if (lines.empty()) return;
  Console& c = console();
  std::lock_guard lock(c.mutex);
  if (c.sink) {
    std::string line;
    for (const Line& parts : lines) {
      line.clear();
      for (std::string_view part : parts) line.append(part);
      c.sink(line);
    }
    return;
  }
  std::vector<iovec> vectors;
  vectors.reserve(lines.size() * 4);
  for (const Line& parts : lines) {
    for (std::string_view part : parts) vectors.push_back({const_cast<char*>(part.data()), part.size()});
    vectors.push_back({&newline, 1});
  }
  writeAll(c.fd, vectors.data(), vectors.size());
}

// Lines accepted before the switch go where they were headed when they were made.
void ConsoleLog::setSink(Sink sink) {
  flush();
  Console& c = console();
  std::lock_guard lock(c.mutex);
  c.sink = std::move(sink);
}

void ConsoleLog::setFileDescriptor(int fd) {
  flush();
  Console& c = console();
  std::lock_guard lock(c.mutex);
  c.fd = fd;
}

void ConsoleLog::setBacklog(Backlog writeBacklog) {
  static std::once_flag atExit;
  std::call_once(atExit, [] { std::atexit(&ConsoleLog::flush); });
  backlog.store(writeBacklog, std::memory_order_release);
}

void ConsoleLog::flush() {
  if (Backlog writeBacklog = backlog.load(std::memory_order_acquire)) writeBacklog();
}

}  // namespace platform::foundation
