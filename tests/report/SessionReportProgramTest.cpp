#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>

#include "platform/render/Bitmap.h"
#include "tests/report/RecordingFile.h"
#include "tests/report/SessionStory.h"
#include "tests/support/VirtualTimeTest.h"

namespace report::test {
namespace {

class SessionReportProgramTest : public lumo::test::VirtualTimeTest {
 protected:
  struct Run {
    int status = -1;
    std::string out;
  };
  static Run run(const std::string& arguments) {
    Run result;
    std::string command = std::string(LUMO_SESSION_REPORT) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) result.out.append(buffer.data(), n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }
  std::string save(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    auto path = sandboxDir() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }
};

TEST_F(SessionReportProgramTest, PrintsTheFiguresAndDrawsThePicture) {
  auto story = SessionStory::typical();
  auto file = save(RecordingFile::write(story.trace).bytes, "session.mcap");
  auto png = (sandboxDir() / "session.png").string();
  auto result = run("'" + file + "' --png '" + png + "'");
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("frames sent       " + std::to_string(story.trace.control.size()) + ","),
            std::string::npos) << result.out;
  EXPECT_NE(result.out.find("refused " + std::to_string(story.refused)), std::string::npos);
  EXPECT_NE(result.out.find("end               delay: 您的蓝牙延迟过大"), std::string::npos);
  EXPECT_NE(result.out.find("file              whole"), std::string::npos);
  auto picture = platform::render::Bitmap::readPng(png);
  EXPECT_EQ(picture.width(), 1200);
  EXPECT_GT(picture.height(), 600);
}

TEST_F(SessionReportProgramTest, ACutRecordingIsReportedAsFarAsItIsWhole) {
  auto story = SessionStory::typical();
  auto recording = RecordingFile::write(story.trace, false);
  recording.bytes.resize(recording.lastMessageEnd - 3);
  auto result = run("'" + save(recording.bytes, "cut.mcap") + "'");
  EXPECT_EQ(result.status, 3) << result.out;
  EXPECT_NE(result.out.find("cut short at byte " + std::to_string(recording.lastMessageStart)), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("frames sent       " + std::to_string(story.trace.control.size()) + ","),
            std::string::npos) << result.out;

  auto missing = run("'" + (sandboxDir() / "missing.mcap").string() + "'");
  EXPECT_EQ(missing.status, 3);
  EXPECT_NE(missing.out.find("file              not readable as a recording: "), std::string::npos) << missing.out;
  EXPECT_EQ(run("").status, 2);
  EXPECT_EQ(run("a.mcap --width 5").status, 2);
  auto unwritable = run("'" + save(recording.bytes, "again.mcap") + "' --png /nonexistent/dir/x.png");
  EXPECT_EQ(unwritable.status, 1) << unwritable.out;
}

}  // namespace
}  // namespace report::test
