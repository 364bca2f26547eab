// The recordings folder keeps the newest sessions within its bounds.
#include <gtest/gtest.h>

#include <fstream>

#include "lumosdk/recorder/RecordingsFolder.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::recorder {
namespace {

namespace fs = std::filesystem;

class RecordingsFolderTest : public lumo::test::VirtualTimeTest {
 protected:
  fs::path folder() { return *RecordingsFolder::path(); }
  // A recording of `bytes` (sparse: only its size matters) from day `day` of January 2025.
  fs::path plant(int day, int n, std::uintmax_t bytes = 100) {
    fs::create_directories(folder());
    char name[64];
    std::snprintf(name, sizeof name, "session-202501%02dT120000Z-%d.mcap", day, n);
    const fs::path file = folder() / name;
    std::ofstream(file).put('x');
    fs::resize_file(file, bytes);
    return file;
  }
  static std::vector<std::string> names(const std::vector<fs::path>& files) {
    std::vector<std::string> out;
    for (const auto& f : files) out.push_back(f.filename().string());
    return out;
  }
};

TEST_F(RecordingsFolderTest, NamesSortNewestFirstAndOthersAreLeftAlone) {
  EXPECT_EQ(RecordingsFolder::fileName(1767225600000.0 + 3723'500, 2), "session-20260101T010203Z-2.mcap");
  plant(3, 1);
  plant(3, 10);
  plant(3, 2);
  plant(12, 1);
  std::ofstream(folder() / "notes.txt").put('x');
  std::ofstream(folder() / "session-2025013T120000Z-1.mcap").put('x');
  fs::create_symlink(folder() / "notes.txt", folder() / "session-20250131T120000Z-1.mcap");
  EXPECT_EQ(names(RecordingsFolder::files()),
            (std::vector<std::string>{"session-20250112T120000Z-1.mcap", "session-20250103T120000Z-10.mcap",
                                      "session-20250103T120000Z-2.mcap", "session-20250103T120000Z-1.mcap"}));
  RecordingsFolder::prune();
  EXPECT_TRUE(fs::exists(folder() / "notes.txt"));
  EXPECT_TRUE(fs::is_symlink(folder() / "session-20250131T120000Z-1.mcap"));
}

TEST_F(RecordingsFolderTest, AtMostTwentySessionsOldestRemovedFirst) {
  for (int day = 1; day <= 23; ++day) plant(day, 1);
  RecordingsFolder::prune();
  const auto kept = RecordingsFolder::files();
  ASSERT_EQ(kept.size(), RecordingsFolder::kMaxSessions);
  EXPECT_EQ(kept.front().filename(), "session-20250123T120000Z-1.mcap");
  EXPECT_EQ(kept.back().filename(), "session-20250104T120000Z-1.mcap");
}

TEST_F(RecordingsFolderTest, AtMostFiftyMegabytesButNeverTheOneBeingWritten) {
  const auto oldest = plant(1, 1, 30u << 20);
  const auto middle = plant(2, 1, 30u << 20);
  const auto newest = plant(3, 1, 30u << 20);
  RecordingsFolder::markWriting(oldest);
  RecordingsFolder::prune();
  EXPECT_TRUE(fs::exists(newest));
  EXPECT_TRUE(fs::exists(oldest)) << "being written";
  EXPECT_FALSE(fs::exists(middle));
  RecordingsFolder::unmarkWriting(oldest);
  RecordingsFolder::prune();
  EXPECT_FALSE(fs::exists(oldest));
  EXPECT_EQ(RecordingsFolder::files().size(), 1u);
}

}  // namespace
}  // namespace lumo::recorder
