#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace platform::foundation {

// NSLog's stand-in: one line per call, the text verbatim (never a format string).
// Lines go to standard error unless a sink is installed.
class ConsoleLog {
 public:
  using Sink = std::function<void(std::string_view line)>;

  static void write(std::string_view line);
  // One line made of `parts` in order; saves the caller building the line when it goes to a file.
  static void write(std::initializer_list<std::string_view> parts);
  // Replaces the sink (tests record lines); nullptr restores standard error.
  static void setSink(Sink sink);
  // Sends lines to a file descriptor (standard error by default, /dev/null in benchmarks).
  static void setFileDescriptor(int fd);
};

}  // namespace platform::foundation
