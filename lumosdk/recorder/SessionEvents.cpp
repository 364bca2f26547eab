#include "lumosdk/recorder/SessionEvents.h"

#include <algorithm>
#include <cstring>

#include "lumosdk/recorder/SessionRecorder.h"
#include "lumosdk/utils/ConnectState.h"
#include "lumosdk/utils/ControlUtil.h"
#include "platform/dispatch/Scheduler.h"

namespace lumo::recorder {

namespace {

// Main thread only, like every caller.
SessionRecorder* activeRecorder = nullptr;

SessionEvent eventOf(EventKind kind) {
  SessionEvent event;
  event.kind = kind;
  event.monotonicNs = platform::dispatch::Scheduler::clock().now().count();
  return event;
}

void copyBytes(SessionEvent& event, const platform::Bytes& frame) {
  event.size = static_cast<std::uint8_t>(std::min<std::size_t>(frame.size(), 255));
  std::memcpy(event.bytes, frame.data(), std::min<std::size_t>(frame.size(), SessionEvent::kMaxBytes));
}

}  // namespace

void SessionEvents::controlFrameWritten(const platform::Bytes& frame) {
  if (!activeRecorder) return;
  auto event = eventOf(EventKind::controlFrame);
  copyBytes(event, frame);
  activeRecorder->record(event);
}

void SessionEvents::stateFrameReceived(const platform::Bytes& frame, StateRefusal refusal) {
  if (!activeRecorder) return;
  auto event = eventOf(EventKind::stateFrame);
  copyBytes(event, frame);
  auto& state = event.state;
  state.refusal = refusal;
  state.authority = ControlUtil::isCanControl();
  state.safety = static_cast<std::uint8_t>(ControlUtil::getSafetyWorkState());
  state.driveMode = static_cast<std::int16_t>(ControlUtil::getDriveMode());
  auto delay = ControlUtil::getMeasuredDelay();
  state.hasDelay = delay.has_value();
  state.delayMs = delay.value_or(0);
  activeRecorder->record(event);
}

void SessionEvents::linkStateReported(ConnectState connectState) {
  if (!activeRecorder) return;
  auto event = eventOf(EventKind::link);
  event.link.connectState = static_cast<int>(connectState);
  activeRecorder->record(event);
}

void SessionEvents::input(InputEvent inputEvent, Pad pad, float angle) {
  if (!activeRecorder) return;
  auto event = eventOf(EventKind::input);
  event.input = {inputEvent, pad, angle};
  activeRecorder->record(event);
}

void SessionEvents::ui(UiKind kind, UiAction action, std::string_view text) {
  if (activeRecorder) activeRecorder->recordUi(kind, action, text);
}

void SessionEvents::setActive(SessionRecorder* recorder) { activeRecorder = recorder; }

void SessionEvents::clearActive(const SessionRecorder* recorder) {
  if (activeRecorder == recorder) activeRecorder = nullptr;
}

SessionRecorder* SessionEvents::active() { return activeRecorder; }

}  // namespace lumo::recorder
