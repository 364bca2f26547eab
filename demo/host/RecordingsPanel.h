#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lumosdk/LumoSessionRecordings.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Window.h"
#include "tools/session_report/SessionTrace.h"

namespace demo {

// The recorded sessions beside the phone: a list of past sessions (newest first, with their
// start, vehicle and end) and the report of the one chosen, its figures and its timeline. A
// window of its own, shown in place of the world panel.
class RecordingsPanel {
 public:
  static constexpr double kWidth = 1000;
  static constexpr double kHeight = 844;
  static constexpr std::size_t kListed = 10;

  using Listing = std::function<std::vector<lumo::LumoSessionRecording>()>;
  // `list` gives the recordings, newest first; `back` runs for the panel's back button.
  RecordingsPanel(Listing list, std::function<void()> back);

  const std::shared_ptr<platform::ui::Window>& window() const { return window_; }
  // Reads the recordings again and shows the newest.
  void reload();
  // Shows the report of the `index`th session listed; false when there is none.
  bool choose(std::size_t index);
  std::size_t count() const { return sessions_.size(); }
  // The chosen session's trace, when one is shown.
  const report::SessionTrace* chosen() const;

  // One list entry: "12-10 10:29:07  配送车 001 · takeover".
  static std::string describe(const lumo::LumoSessionRecording& recording);

 private:
  struct Session {
    lumo::LumoSessionRecording recording;
    report::SessionTrace trace;
  };
  void showList();

  Listing list_;
  std::shared_ptr<platform::ui::Window> window_;
  std::shared_ptr<platform::ui::Label> empty_;
  std::shared_ptr<platform::ui::Label> figures_;
  std::shared_ptr<platform::ui::ScrollView> pictureArea_;
  std::shared_ptr<platform::ui::View> picture_;
  std::vector<std::shared_ptr<platform::ui::Button>> rows_;
  std::vector<Session> sessions_;
  std::size_t chosen_ = 0;
};

}  // namespace demo
