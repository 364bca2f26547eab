#include "tests/report/SessionStory.h"

namespace report::test {

SessionStory::SessionStory() {
  trace.start = SessionTrace::Start{kOrigin, "LUMO0DEMO00000001", 1, "配送车 001", "LUMO-0001", "0.0.2", 1'796'000'000'000};
}

void SessionStory::tick(int throttle, int brake, int steering, bool authority, int driveMode, int delay) {
  ++seq_;
  trace.control.push_back({now, seq_, "0100000000000000", true, false, throttle, brake, steering});
  SessionTrace::StateFrame state;
  state.time = now + delay * kMs;
  state.bytes = "aa";
  state.driveMode = driveMode;
  state.authority = authority;
  state.safety = "disabled";
  state.delayMs = delay;
  trace.states.push_back(state);
  delays.push_back(delay);
  if (authority && grantedAt == 0) grantedAt = state.time - kOrigin;
  now += 150 * kMs;
}

void SessionStory::refusedAnswer(const std::string& why) {
  SessionTrace::StateFrame state;
  state.time = now;
  state.bytes = "bb";
  state.accepted = false;
  state.refusal = why;
  trace.states.push_back(state);
  ++refused;
}

SessionStory SessionStory::typical() {
  SessionStory story;
  story.link("scanning");
  story.pass(400 * kMs);
  story.link("connectingDevice");
  story.pass(300 * kMs);
  story.link("linkConnected");
  story.ui("wait", "show", "正在请求控制");
  // Asking for control; the vehicle grants it after a few frames.
  for (int i = 0; i < 6; ++i) story.tick(0, 0, 0, i >= 4, i >= 4 ? 5 : 1, 20 + i);
  story.ui("wait", "dismiss", "");
  story.ui("toast", "show", "已获得控制权");
  story.input("select", "forward");
  for (int i = 0; i < 20; ++i) story.tick(std::min(30, i * 3), 0, 0, true, 5, 25 + i % 7);
  story.ui("toast", "dismiss", "");
  story.refusedAnswer("checksum");
  story.input("wheel", "", 40);
  for (int i = 0; i < 14; ++i) story.tick(30, 0, i * 5, true, 5, 30 + i % 5);
  // The main thread stalled: the next frame goes out 450 ms after the last.
  story.pass(300 * kMs);
  story.input("release", "forward");
  story.refusedAnswer("repeat");
  for (int i = 0; i < 10; ++i) story.tick(0, 30, 0, true, 5, 35);
  // The vehicle lags until the page gives up.
  for (int i = 0; i < 12; ++i) story.tick(0, 30, 0, true, 5, 100 + i * 60);
  story.ui("dialog", "show", "您的蓝牙延迟过大,请靠近车辆后重试");
  story.pass(1200 * kMs);
  story.end("delay", "您的蓝牙延迟过大,请靠近车辆后重试");
  return story;
}

}  // namespace report::test
