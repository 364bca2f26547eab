#pragma once

#include <string_view>

#include "lumosdk/recorder/SessionEvent.h"
#include "platform/foundation/Bytes.h"

namespace lumo {
enum class ConnectState : int;
}

namespace lumo::recorder {

class SessionRecorder;

// Where the page, the link and the dialogs report what happens in a control session. Each
// call hands the event to the recorder of the session being recorded, and does nothing when
// none is. Main thread only.
class SessionEvents {
 public:
  static void controlFrameWritten(const platform::Bytes& frame);
  // After the link handled the frame: an accepted one has been decoded by then.
  static void stateFrameReceived(const platform::Bytes& frame, StateRefusal refusal);
  static void linkStateReported(ConnectState state);
  static void input(InputEvent event, Pad pad, float angle = 0);
  static void ui(UiKind kind, UiAction action, std::string_view text);

  // The session whose events are recorded: set when a page starts its recording, cleared
  // when it ends it (only by the recorder that is active).
  static void setActive(SessionRecorder* recorder);
  static void clearActive(const SessionRecorder* recorder);
  static SessionRecorder* active();

  SessionEvents() = delete;
};

}  // namespace lumo::recorder
