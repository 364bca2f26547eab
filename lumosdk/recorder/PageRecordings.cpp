#include "lumosdk/recorder/PageRecordings.h"

#include <map>
#include <memory>
#include <string>

#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/recorder/SessionRecorder.h"

namespace lumo::recorder {
namespace {

struct PageRecording {
  std::shared_ptr<SessionRecorder> recorder;
  std::string endReason;
  std::string endText;
  bool endDecided = false;
};

std::map<const void*, PageRecording>& pages() {
  static auto* table = new std::map<const void*, PageRecording>;  // main thread; never destroyed
  return *table;
}

}  // namespace

void PageRecordings::start(const void* page, SessionStart start) {
  PageRecording& entry = pages()[page];
  entry.recorder = SessionRecorder::start(std::move(start));
  // A page that was never shown records nothing; the newest page's session is the one recorded.
  SessionEvents::setActive(entry.recorder.get());
}

void PageRecordings::noteEnd(const void* page, std::string_view reason, std::string_view text) {
  PageRecording& entry = pages()[page];
  if (entry.endDecided) return;
  entry.endDecided = true;
  entry.endReason = reason;
  entry.endText = text;
}

void PageRecordings::finish(const void* page) {
  auto it = pages().find(page);
  if (it == pages().end()) return;
  PageRecording entry = std::move(it->second);
  pages().erase(it);
  if (entry.recorder) entry.recorder->end(entry.endDecided ? entry.endReason : "left", entry.endText);
}

}  // namespace lumo::recorder
