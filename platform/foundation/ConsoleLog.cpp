#include "platform/foundation/ConsoleLog.h"

#include <limits.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
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

// Lines carry text from outside (a server's message, a BlueZ error): a line break in it
// would write a line of its own, an escape sequence would drive the terminal. C0 controls,
// DEL and the C1 controls (two-byte UTF-8) become visible escapes; all else stays as it is.
bool isControlAt(std::string_view text, std::size_t i, std::size_t& length) {
  auto byte = static_cast<unsigned char>(text[i]);
  length = 1;
  if (byte < 0x20 || byte == 0x7F) return true;
  if (byte == 0xC2 && i + 1 < text.size()) {
    auto next = static_cast<unsigned char>(text[i + 1]);
    length = 2;
    return next >= 0x80 && next <= 0x9F;
  }
  return false;
}

bool needsEscaping(std::string_view text) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isControlAt(text, i, length)) return true;
  }
  return false;
}

void appendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!isControlAt(text, i, length)) {
      out.push_back(text[i]);
      continue;
    }
    auto byte = static_cast<unsigned char>(length == 2 ? text[i + 1] : text[i]);
    if (length == 2) {
      out.append("\\u00").push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
      ++i;
    } else if (byte == '\n') {
      out.append("\\n");
    } else if (byte == '\r') {
      out.append("\\r");
    } else if (byte == '\t') {
      out.append("\\t");
    } else {
      out.append("\\x").push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 0x0F]);
    }
  }
}

// A part as it may be written: the caller's text, or an escaped copy kept in `storage` when
// it holds a control character (rare, so the common case copies nothing). A deque, so the
// copies never move while views of them are held.
std::string_view safePart(std::string_view part, std::deque<std::string>& storage) {
  if (!needsEscaping(part)) return part;
  std::string& copy = storage.emplace_back();
  appendEscaped(copy, part);
  return copy;
}

void writeLine(int fd, const std::vector<std::string_view>& parts) {
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

void writeDirect(std::initializer_list<std::string_view> given) {
  std::deque<std::string> storage;
  std::vector<std::string_view> parts;
  parts.reserve(given.size());
  for (std::string_view part : given) parts.push_back(safePart(part, storage));
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
  std::deque<std::string> storage;
  std::vector<ConsoleLog::Line> safe(lines.begin(), lines.end());
  for (ConsoleLog::Line& parts : safe) {
    for (std::string_view& part : parts) part = safePart(part, storage);
  }
  Console& c = console();
  std::lock_guard lock(c.mutex);
  if (c.sink) {
    std::string line;
    for (const auto& parts : safe) {
      line.clear();
      for (std::string_view part : parts) line.append(part);
      c.sink(line);
    }
    return;
  }
  std::vector<iovec> vectors;
  vectors.reserve(lines.size() * 4);
  for (const auto& parts : safe) {
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
