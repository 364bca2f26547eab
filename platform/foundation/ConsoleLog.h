#pragma once

#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>

#include "platform/PlatformExport.h"

namespace platform::foundation {

// NSLog's stand-in: one line per call, the text verbatim (never a format string).
// Lines go to standard error unless a sink is installed.
//
// A writer that accepts lines on a hot path and writes them later from a worker (the SDK's
// logger) registers as the backlog. Every direct write and every flush() first has the
// backlog written, so a reader sees each thread's lines in the order the thread made them,
// whichever way they went. The backlog is also written when the process exits normally.
class LUMO_PLATFORM_EXPORT ConsoleLog {
 public:
  using Sink = std::function<void(std::string_view line)>;
  // Writes every line accepted so far through writeFromBacklog; must tolerate being called
  // from any thread, and again from inside a sink.
  using Backlog = void (*)();

  static void write(std::string_view line);
  // One line made of `parts` in order; saves the caller building the line when it goes to a file.
  static void write(std::initializer_list<std::string_view> parts);
  // Replaces the sink (tests record lines); nullptr restores standard error.
  static void setSink(Sink sink);
  // Sends lines to a file descriptor (standard error by default, /dev/null in benchmarks).
  static void setFileDescriptor(int fd);

  // Installs the one backlog writer of the process (nullptr removes it).
  static void setBacklog(Backlog writeBacklog);
  // Writes the backlog now: for readers of the console and hosts about to close their log.
  static void flush();
  // The backlog's own lines, written at once without asking the backlog again; each line is
  // made of three parts (as "tag", ":", "message"), and many go out in one system call.
  using Line = std::array<std::string_view, 3>;
  static void writeFromBacklog(std::span<const Line> lines);
};

}  // namespace platform::foundation
