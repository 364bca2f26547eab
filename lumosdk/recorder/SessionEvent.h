#pragma once

#include <cstdint>

// One event of a control session as the main thread hands it to the recorder: plain data of
// fixed size, so that reporting an event costs a copy into a preallocated buffer.
namespace lumo::recorder {

enum class EventKind : std::uint8_t { controlFrame, stateFrame, link, input, ui };

// Why the link did not pass a state frame on to the session.
enum class StateRefusal : std::uint8_t { none, shortFrame, longFrame, checksum, repeat, otherDevice };
enum class InputEvent : std::uint8_t { select, release, wheel };
enum class Pad : std::uint8_t { none, forward, back, left, right };
enum class UiKind : std::uint8_t { dialog, toast, wait, warning };
enum class UiAction : std::uint8_t { show, dismiss };

struct SessionEvent {
  // Frames longer than this keep their first bytes and their true size.
  static constexpr std::uint8_t kMaxBytes = 20;

  EventKind kind = EventKind::controlFrame;
  std::int64_t monotonicNs = 0;
  std::uint8_t size = 0;  // frame size, capped at 255
  std::uint8_t bytes[kMaxBytes] = {};
  union {
    struct {
      StateRefusal refusal;
      bool authority;
      std::uint8_t safety;  // ControlUtil::SafetyWorkState
      std::int16_t driveMode;
      bool hasDelay;
      std::int64_t delayMs;
    } state;
    struct {
      int connectState;
    } link;
    struct {
      InputEvent event;
      Pad pad;
      float angle;
    } input;
    struct {
      UiKind kind;
      UiAction action;
      std::uint32_t textIndex;  // into the texts handed over with the events
    } ui;
  };

  SessionEvent() : state{} {}
};

}  // namespace lumo::recorder
