#include <gtest/gtest.h>

#include <fstream>

#include "demo/host/RecordingsPanel.h"
#include "demo/host/ScreenText.h"
#include "platform/render/Renderer.h"
#include "tests/report/RecordingFile.h"
#include "tests/report/SessionStory.h"
#include "tests/support/Screenshots.h"
#include "tests/support/VirtualTimeTest.h"

namespace demo {
namespace {

using report::test::RecordingFile;
using report::test::SessionStory;

class RecordingsPanelTest : public lumo::test::VirtualTimeTest {
 protected:
  // Kept as the SDK lists a recording, newest first.
  lumo::LumoSessionRecording save(const RecordingFile& recording, const report::SessionTrace& trace,
                                  const std::string& name, const std::string& endReason) {
    auto path = sandboxDir() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(recording.bytes.data()), static_cast<std::streamsize>(recording.bytes.size()));
    lumo::LumoSessionRecording listed;
    listed.startTimeMs = trace.start->wallTimeMs;
    listed.vin = trace.start->vin;
    listed.vehicleName = trace.start->vehicleName;
    listed.endReason = endReason;
    listed.filePath = path.string();
    files.insert(files.begin(), listed);
    return listed;
  }
  static bool showsStarting(platform::ui::Window& window, const std::string& prefix) {
    for (const auto& text : ScreenText::all(window)) {
      if (text.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
  RecordingsPanel::Listing listing() {
    return [this] { return files; };
  }
  std::vector<lumo::LumoSessionRecording> files;
};

TEST_F(RecordingsPanelTest, ListsThePastSessionsAndShowsTheChosenOnesReport) {
  bool back = false;
  RecordingsPanel panel(listing(), [&] { back = true; });
  auto& window = *panel.window();
  EXPECT_TRUE(ScreenText::shows(window, "还没有记录的会话"));
  EXPECT_FALSE(panel.chosen());

  // An older session taken over, then the newest, cut short by a crash.
  auto taken = SessionStory::typical();
  taken.trace.end->reason = "takeover";
  auto older = save(RecordingFile::write(taken.trace), taken.trace, "session-1.mcap", "takeover");
  auto cut = SessionStory::typical();
  auto crashed = RecordingFile::write(cut.trace, false);
  crashed.bytes.resize(crashed.lastMessageStart + 5);
  auto newest = save(crashed, cut.trace, "session-2.mcap", "cut short");
  panel.reload();

  ASSERT_EQ(panel.count(), 2u);
  window.layoutIfNeeded();
  EXPECT_FALSE(ScreenText::shows(window, "还没有记录的会话"));
  EXPECT_TRUE(ScreenText::shows(window, RecordingsPanel::describe(newest)));
  EXPECT_NE(RecordingsPanel::describe(newest).find("配送车 001 · cut short"), std::string::npos);
  EXPECT_TRUE(showsStarting(window, "Recording cut short at byte " + std::to_string(crashed.lastMessageStart)));

  // A tap on the older one shows its report.
  auto olderRow = ScreenText::find(window, RecordingsPanel::describe(older));
  ASSERT_FALSE(olderRow.empty());
  window.tap(olderRow.back()->convertRectTo(olderRow.back()->bounds(), nullptr).center());
  window.layoutIfNeeded();
  ASSERT_TRUE(panel.chosen());
  ASSERT_TRUE(panel.chosen()->end);
  EXPECT_EQ(panel.chosen()->end->reason, "takeover");
  EXPECT_TRUE(showsStarting(window, "发送帧 " + std::to_string(taken.trace.control.size()) + " "));
  lumo::test::keepScreenshot(platform::render::Renderer().render(window), sandboxDir(), "recordings-panel");

  window.tap({RecordingsPanel::kWidth - 100, 27});
  EXPECT_TRUE(back);
  EXPECT_FALSE(panel.choose(5));
}

}  // namespace
}  // namespace demo
