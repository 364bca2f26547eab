#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <string>

#include "platform/foundation/ConsoleLog.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using platform::foundation::ConsoleLog;

class ConsoleEscapingTest : public VirtualTimeTest {
 protected:
  std::string plain_;
};

// Text from outside (a backend's message, a BlueZ error) ends up inside console lines. A
// line break or a terminal escape in it must not start a line of its own or drive the
// terminal: control characters arrive escaped, on every way to the console.
TEST_F(ConsoleEscapingTest, ControlCharactersInALineAreEscapedOnEveryPath) {
  const std::string forged = "连接失败\nLUMOSDK: control granted\r\t\x1b[2J\x7f\xc2\x9b" + std::string(1, '\0') + "end";
  const std::string expected = "BlueZ: 连接失败\\nLUMOSDK: control granted\\r\\t\\x1b[2J\\x7f\\u009b\\x00end";

  ConsoleLog::write("BlueZ: " + forged);
  ConsoleLog::write({"BlueZ: ", forged});
  const std::array<ConsoleLog::Line, 1> backlog{{{"BlueZ", ": ", forged}}};
  ConsoleLog::writeFromBacklog(backlog);
  EXPECT_EQ(consoleLines(), (std::vector<std::string>{expected, expected, expected}));

  // The same on a real console (a pipe standing for standard error): one line each.
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_NONBLOCK), 0);
  ConsoleLog::setSink(nullptr);
  ConsoleLog::setFileDescriptor(ends[1]);
  ConsoleLog::write("BlueZ: " + forged);
  ConsoleLog::writeFromBacklog(backlog);
  ConsoleLog::setFileDescriptor(STDERR_FILENO);
  std::string written(4096, '\0');
  ssize_t length = ::read(ends[0], written.data(), written.size());
  ::close(ends[0]);
  ::close(ends[1]);
  ASSERT_GT(length, 0);
  written.resize(static_cast<std::size_t>(length));
  EXPECT_EQ(written, expected + "\n" + expected + "\n");

  // Text without control characters is untouched, backslashes included.
  ConsoleLog::setSink([this](std::string_view line) { plain_ = line; });
  ConsoleLog::write(R"(path C:\temp "quoted" 中文 ✓)");
  EXPECT_EQ(plain_, R"(path C:\temp "quoted" 中文 ✓)");
}

}  // namespace
}  // namespace lumo::test
