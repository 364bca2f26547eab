// A whole control session on the record: granted, driven, taken over and ended, then read
// back with the reference reader and checked against what the vehicle saw and sent.
#include <gtest/gtest.h>

#include <map>

#include "lumosdk/LumoVersion.h"
#include "lumosdk/recorder/McapReader.h"
#include "lumosdk/recorder/RecordingsFolder.h"
#include "lumosdk/recorder/SessionRecorder.h"
#include "platform/dispatch/Scheduler.h"
#include "tests/control/ControlPageTest.h"
#include "tests/recorder/ReferenceReader.h"

namespace {

using lumo::recorder::RecordingsFolder;
using lumo::recorder::SessionRecorder;
using nlohmann::json;
using platform::dispatch::Seconds;

std::int64_t nowNs() { return platform::dispatch::Scheduler::clock().now().count(); }

std::string hex(const platform::Bytes& bytes) {
  std::string text;
  char digits[3];
  for (auto b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

class SessionRecordingTest : public lumo::test::ControlPageTest {
 protected:
  void SetUp() override {
    ControlPageTest::SetUp();
    vehicle->peripheral()->setNotifyTap([this](const platform::ble::Uuid&, const platform::Bytes& value) {
      sent.push_back({value, nowNs()});
    });
  }

  // Messages of the reference reader's output on `topic`, in file order.
  static std::vector<json> on(const json& reading, const std::string& topic) {
    std::vector<json> found;
    for (const auto& m : reading["messages"])
      if (reading["channels"][std::to_string(m["channelId"].get<int>())]["topic"] == topic) found.push_back(m);
    return found;
  }

  struct Sent {
    platform::Bytes bytes;
    std::int64_t at;
  };
  std::vector<Sent> sent;  // every state frame the vehicle sent, with its time
};

TEST_F(SessionRecordingTest, ADrivenSessionIsRecordedFrameByFrame) {
  const std::int64_t openedAt = nowNs();
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  driveThenTakeOver(page);
  std::size_t sentAtFinish = 0;
  ASSERT_TRUE(runUntil([&] {
    sentAtFinish = sent.size();
    return page->isFinished();
  }));
  ASSERT_TRUE(runUntil([] { return SessionRecorder::unfinishedCount() == 0; }));

  const auto files = RecordingsFolder::files();
  ASSERT_EQ(files.size(), 1u);
  const auto reading = lumo::recorder::testing::readWithReferenceReader(files[0]);
  ASSERT_EQ(reading.error, "");
  auto r = reading.result;
  ASSERT_TRUE(r["streamError"].is_null()) << r["streamError"];
  ASSERT_TRUE(r["summaryError"].is_null()) << r["summaryError"];
  EXPECT_TRUE(r["dataSectionCrcValid"].get<bool>());
  EXPECT_EQ(r["summary"]["statistics"]["messageCount"], std::to_string(r["messages"].size()));
  EXPECT_EQ(r["header"]["library"], std::string("lumosdk ") + lumo::lumoVersion());
  // Our own reader agrees, and finds the file whole.
  const auto ours = lumo::recorder::McapReader::readFile(files[0]);
  EXPECT_TRUE(ours.complete) << (ours.problem ? ours.problem->reason : "");
  EXPECT_EQ(ours.messages.size(), r["messages"].size());

  std::int64_t last = 0;
  for (const auto& m : r["messages"]) {
    const auto t = std::stoll(m["logTime"].get<std::string>());
    EXPECT_EQ(m["publishTime"], m["logTime"]);
    EXPECT_GE(t, last) << m.dump();
    last = t;
  }

  const auto session = on(r, "/lumo/session");
  ASSERT_EQ(session.size(), 2u);
  const auto& start = session[0]["data"];
  EXPECT_EQ(start["event"], "start");
  EXPECT_EQ(start["vin"], sim::BackendSimulator::kDemoVin);
  EXPECT_EQ(start["bleName"], sim::BackendSimulator::kDemoBleName);
  EXPECT_EQ(start["vehicleId"], page->vehicleId());
  EXPECT_EQ(start["vehicleName"], page->vehicleName());
  EXPECT_EQ(start["sdkVersion"], lumo::lumoVersion());
  EXPECT_GE(start["monotonicNs"].get<std::int64_t>(), openedAt);
  EXPECT_EQ(std::to_string(start["monotonicNs"].get<std::int64_t>()), session[0]["logTime"]);
  const auto& end = session[1]["data"];
  EXPECT_EQ(end["event"], "end");
  EXPECT_EQ(end["reason"], "takeover");
  EXPECT_EQ(end["text"], "车辆已被他人接管");

  // Every frame the vehicle took in is there, with the bytes and fields it carried, and the
  // frames come every 150 ms of the clock.
  const auto control = on(r, "/lumo/control");
  ASSERT_EQ(control.size(), static_cast<std::size_t>(page->rollCount()));
  std::map<int, json> bySeq;
  for (std::size_t i = 0; i < control.size(); ++i) {
    const auto& d = control[i]["data"];
    EXPECT_EQ(d["seq"], static_cast<int>(i + 1));
    EXPECT_EQ(d["bytes"].get<std::string>().size(), 16u);
    bySeq[d["seq"].get<int>()] = d;
    if (i > 0) {
      EXPECT_EQ(std::stoll(control[i]["logTime"].get<std::string>()) -
                    std::stoll(control[i - 1]["logTime"].get<std::string>()),
                150'000'000);
    }
  }
  ASSERT_FALSE(frames.empty());
  bool drove = false, steered = false;
  for (const auto& f : frames) {
    ASSERT_TRUE(bySeq.count(f.tick)) << "tick " << f.tick;
    const auto& d = bySeq[f.tick];
    EXPECT_EQ(d["enableCmd"], f.enableCmd);
    EXPECT_EQ(d["antiCollision"], f.enableAntiCollision);
    EXPECT_EQ(d["throttle"], f.throttle);
    EXPECT_EQ(d["brake"], f.brake);
    EXPECT_EQ(d["steering"], f.steering);
    drove = drove || f.throttle > 0;
    steered = steered || f.steering == 100;
  }
  EXPECT_TRUE(drove);
  EXPECT_TRUE(steered);

  // Every state frame the vehicle sent up to the end, in order, each after it was sent.
  const auto state = on(r, "/lumo/state");
  ASSERT_EQ(state.size(), sentAtFinish);
  bool granted = false, takenOver = false;
  for (std::size_t i = 0; i < state.size(); ++i) {
    const auto& d = state[i]["data"];
    EXPECT_EQ(d["bytes"], hex(sent[i].bytes)) << i;
    const auto t = std::stoll(state[i]["logTime"].get<std::string>());
    EXPECT_GE(t, sent[i].at);
    EXPECT_LT(t, sent[i].at + 100'000'000);
    EXPECT_TRUE(d["accepted"].get<bool>());
    EXPECT_FALSE(d.contains("refusal"));
    EXPECT_EQ(d["driveMode"], sent[i].bytes[0]);
    EXPECT_EQ(d["authority"], (sent[i].bytes[1] & 1) != 0);
    granted = granted || d["authority"].get<bool>();
    takenOver = takenOver || d["driveMode"] == 5;
    if (d["authority"].get<bool>()) {
      EXPECT_TRUE(d["delayMs"].is_number_integer()) << d.dump();
    }
  }
  EXPECT_TRUE(granted);
  EXPECT_TRUE(takenOver);

  std::vector<std::string> links;
  for (const auto& m : on(r, "/lumo/link")) links.push_back(m["data"]["state"]);
  EXPECT_EQ(links, (std::vector<std::string>{"scanning", "connectingDevice", "linkConnected"}));

  std::vector<std::string> inputs;
  for (const auto& m : on(r, "/lumo/input")) inputs.push_back(m["data"]["event"].get<std::string>() + " " +
                                                              m["data"]["pad"].get<std::string>());
  EXPECT_EQ(inputs, (std::vector<std::string>{"select forward", "release forward", "select right", "release right"}));

  std::vector<std::string> ui;
  for (const auto& m : on(r, "/lumo/ui"))
    ui.push_back(m["data"]["kind"].get<std::string>() + " " + m["data"]["action"].get<std::string>() + " " +
                 m["data"]["text"].get<std::string>());
  auto has = [&](const std::string& line) { return std::find(ui.begin(), ui.end(), line) != ui.end(); };
  EXPECT_TRUE(has("wait show 已连接,正在请求控制权限"));
  EXPECT_TRUE(has("wait dismiss 已连接,正在请求控制权限"));
  EXPECT_TRUE(has("wait show 车辆已被他人接管"));
}

TEST_F(SessionRecordingTest, RefusedStateFramesSayWhyAndChangeNoDecodedState) {
  auto page = openPage();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(runUntilInControl(page));
  vehicle->sendBadChecksums(true);
  runFor(Seconds(0.35));
  vehicle->sendBadChecksums(false);
  vehicle->sendShortFrames(true);
  runFor(Seconds(0.35));
  vehicle->sendShortFrames(false);
  vehicle->repeatFrames(true);
  runFor(Seconds(0.35));
  vehicle->repeatFrames(false);
  page->exitButtonTapped();
  ASSERT_TRUE(runUntil([&] { return page->isFinished(); }));
  ASSERT_TRUE(runUntil([] { return SessionRecorder::unfinishedCount() == 0; }));

  const auto files = RecordingsFolder::files();
  ASSERT_EQ(files.size(), 1u);
  const auto reading = lumo::recorder::testing::readWithReferenceReader(files[0]);
  ASSERT_EQ(reading.error, "");
  std::map<std::string, int> refusals;
  json lastAccepted;
  for (const auto& m : on(reading.result, "/lumo/state")) {
    const auto& d = m["data"];
    if (d["accepted"].get<bool>()) {
      EXPECT_FALSE(d.contains("refusal"));
      lastAccepted = d;
      continue;
    }
    ASSERT_TRUE(d["refusal"].is_string()) << d.dump();
    ++refusals[d["refusal"].get<std::string>()];
    // A refused frame leaves the decoded state as the last accepted one left it.
    EXPECT_EQ(d["driveMode"], lastAccepted["driveMode"]);
    EXPECT_EQ(d["authority"], lastAccepted["authority"]);
    if (d["refusal"] == "short") {
      EXPECT_LT(d["size"].get<int>(), 8);
    }
  }
  EXPECT_GT(refusals["checksum"], 0);
  EXPECT_GT(refusals["short"], 0);
  EXPECT_GT(refusals["repeat"], 0);
  const auto session = on(reading.result, "/lumo/session");
  ASSERT_EQ(session.size(), 2u);
  EXPECT_EQ(session[1]["data"]["reason"], "exit");
  EXPECT_EQ(session[1]["data"]["text"], "退出中");
}

}  // namespace
