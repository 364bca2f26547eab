#include <gtest/gtest.h>

#include <random>
#include <string>

#include "sim/vehicle/VehicleSimulator.h"
#include "tests/link/BleLinkFixture.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using sim::VehicleSimulator;
using std::chrono::milliseconds;

// Sessions, link losses, adapter cycles and failed connects in a seeded random order. After
// every step: no listener heard from a session that had ended, no frame went to a vehicle
// other than the current session's (or went out without a link), and no vehicle other than
// the current session's is left connected.
class LinkRobustnessTest : public BleLinkTest, public ::testing::WithParamInterface<unsigned> {
 protected:
  void SetUp() override {
    BleLinkTest::SetUp();
    v01 = std::make_unique<VehicleSimulator>(radio, "LUMO-V01");
    v02 = std::make_unique<VehicleSimulator>(radio, "LUMO-V02");
    // Only the second vehicle ever reports the on-site takeover mode: frames tell their sender.
    v02->takeOverOnSite();
    BluetoothUtil::setOnConnectStateChangeListener([this](ConnectState) {
      ++reports;
      EXPECT_TRUE(open) << "a report reached the listener after its session ended";
    });
    BluetoothUtil::setOnDataListener([this](const platform::Bytes&) {
      ++frames;
      EXPECT_TRUE(open) << "a frame reached the listener after its session ended";
      bool fromSecond = ControlUtil::getDriveMode() == VehicleSimulator::onSiteTakeover;
      EXPECT_EQ(fromSecond, target == v02.get()) << "a frame of the other vehicle reached the listener";
    });
    BluetoothUtil::initialize();
  }
  void TearDown() override {
    v01.reset();
    v02.reset();
    BleLinkTest::TearDown();
  }

  void start(VehicleSimulator* vehicle) {
    open = true;
    target = vehicle;
    BluetoothUtil::initWithSlaverDeviceName(vehicle == v01.get() ? "LUMO-V01" : "LUMO-V02", vehicle == v01.get() ? 1 : 2);
  }
  void end() {
    open = false;
    target = nullptr;
    BluetoothUtil::disconnect();
  }
  // What the page's command loop does for a while, whatever state the link is in.
  void sendFor(int frameCount) {
    for (int i = 0; i < frameCount; ++i) {
      BluetoothUtil::sendData(ControlUtil::encodeCmd(true, false, 0, 0, 0, i));
      runFor(milliseconds(150));
    }
  }
  void checkWorld(const std::string& step) {
    SCOPED_TRACE("after " + step);
    std::string targetId = target ? target->peripheral()->identifier().fullString() : "none";
    for (const auto& operation : radio->operations()) {
      EXPECT_NE(operation.rfind("writeIgnored ", 0), 0u) << "a frame went out without a link: " << operation;
      if (operation.rfind("write ", 0) != 0) continue;
      EXPECT_TRUE(open) << "a frame went out after the session ended: " << operation;
      EXPECT_EQ(operation.rfind("write " + targetId + " ", 0), 0u) << "a frame went to another vehicle: " << operation;
    }
    radio->clearOperations();
    for (auto* vehicle : {v01.get(), v02.get()}) {
      if (vehicle != target) {
        EXPECT_FALSE(radio->isConnected(*vehicle->peripheral())) << "a link outside the session is still up";
      }
    }
  }

  std::unique_ptr<VehicleSimulator> v01;
  std::unique_ptr<VehicleSimulator> v02;
  VehicleSimulator* target = nullptr;
  bool open = false;
  int reports = 0;
  int frames = 0;
};

TEST_P(LinkRobustnessTest, RandomSessionsNeverLeakIntoEachOther) {
  const unsigned seed = GetParam();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  bool adapterOn = true;
  for (int step = 0; step < 80; ++step) {
    std::string name;
    switch (pick(9)) {
      case 0:
      case 1:
        name = "start";
        start(pick(2) == 0 ? v01.get() : v02.get());
        break;
      case 2:
        name = "disconnect";
        end();
        break;
      case 3:
        name = "link loss";
        (pick(2) == 0 ? v01 : v02)->dropLink();
        break;
      case 4:
        name = adapterOn ? "adapter off" : "adapter on";
        adapterOn = !adapterOn;
        radio->setAdapterState(adapterOn ? ManagerState::poweredOn : ManagerState::poweredOff);
        break;
      case 5:
        name = "next connect fails";
        if (radio->unusedReplies() < 2) {
          if (pick(2) == 0) {
            radio->simulateConnectionFailure();
          } else {
            radio->simulateConnectionStall();
          }
        }
        break;
      default:
        name = "send";
        sendFor(1 + pick(20));
        break;
    }
    // Short gaps let events of one step overlap the next; long ones let time-outs fire.
    runFor(milliseconds(pick(2) == 0 ? pick(200) : pick(3000)));
    checkWorld(name + " (step " + std::to_string(step) + ")");
    if (::testing::Test::HasFailure()) break;
  }

  // Use up the replies still queued, then leave: nothing may stay connected.
  radio->setAdapterState(ManagerState::poweredOn);
  for (int i = 0; i < 4 && radio->unusedReplies() > 0; ++i) {
    start(v01.get());
    runFor(std::chrono::seconds(12));
    checkWorld("draining the queued connect replies");
  }
  end();
  runFor(std::chrono::seconds(2));
  checkWorld("the last disconnect");
  EXPECT_GT(reports, 0);
  RecordProperty("frames", frames);
}

INSTANTIATE_TEST_SUITE_P(Seeds, LinkRobustnessTest, ::testing::Range(1u, 41u));

}  // namespace
}  // namespace lumo::test
