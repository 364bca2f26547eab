#include <gtest/gtest.h>

#include "platform/ble/Radio.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "tests/ble/RecordingCentral.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using platform::Bytes;
using std::chrono::milliseconds;

const Uuid kService = *Uuid::fromString("FFE0");
const Uuid kNotify = *Uuid::fromString("FFE1");
const Uuid kWrite = *Uuid::fromString("FFE2");
const Uuid kRead = *Uuid::fromString("FFE3");

class SimulatedRadioTest : public VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    radio = Radio::useSimulatedRadio();
    device = std::make_shared<SimulatedPeripheral>("Sensor");
    device->addService({kService,
                        {{kNotify, property::notify, {}},
                         {kWrite, property::write | property::writeWithoutResponse, {}},
                         {kRead, property::read, {0x01, 0x02}}}});
    device->setWriteHandler([this](const Uuid&, const Bytes& data, WriteType type) {
      written.push_back(data);
      writeTypes.push_back(type);
    });
    radio->addPeripheral(device);
  }
  void TearDown() override {
    EXPECT_EQ(radio->unusedReplies(), 0u) << "a queued reply was never used";
    VirtualTimeTest::TearDown();
  }

  // Scans until the device is seen, connects and discovers everything.
  std::shared_ptr<Peripheral> connectAndDiscover(RecordingCentral& phone) {
    phone.central().scanForPeripherals();
    runFor(milliseconds(150));
    auto peripheral = phone.peripheral("Sensor");
    if (!peripheral) return nullptr;
    phone.central().stopScan();
    phone.central().connect(*peripheral);
    runFor(milliseconds(100));
    peripheral->discoverServices();
    runFor(milliseconds(1));
    peripheral->discoverCharacteristics(*peripheral->services()->front());
    runFor(milliseconds(1));
    return peripheral;
  }

  std::shared_ptr<SimulatedRadio> radio;
  std::shared_ptr<SimulatedPeripheral> device;
  std::vector<Bytes> written;
  std::vector<WriteType> writeTypes;
};

TEST(UuidTest, ParsesShortAndFullFormsAndPrintsLikeThePlatform) {
  auto shortForm = Uuid::fromString("180a");
  auto fullForm = Uuid::fromString("0000180A-0000-1000-8000-00805f9b34fb");
  ASSERT_TRUE(shortForm && fullForm);
  EXPECT_EQ(*shortForm, *fullForm);
  EXPECT_EQ(shortForm->uuidString(), "180A");
  EXPECT_EQ(shortForm->fullString(), "0000180A-0000-1000-8000-00805F9B34FB");
  auto custom = Uuid::fromString("4c554d4f-5601-4a10-9e3c-0000000000a0");
  ASSERT_TRUE(custom);
  EXPECT_EQ(custom->uuidString(), "4C554D4F-5601-4A10-9E3C-0000000000A0");
  EXPECT_EQ(Uuid::fromString("12345678")->uuidString(), "12345678");
  for (const char* bad : {"", "18A", "XYZW", "0000180A-0000-1000-8000_00805F9B34FB", "0000180A00001000800000805F9B34FB"}) {
    EXPECT_FALSE(Uuid::fromString(bad)) << bad;
  }
  EXPECT_NE(Uuid::fromSequence(1), Uuid::fromSequence(2));
  EXPECT_EQ(Uuid::fromSequence(7).fullString().size(), 36u);
}

TEST_F(SimulatedRadioTest, CentralsLearnTheAdapterStateLaterAndHearEveryChange) {
  auto phone = RecordingCentral::make();
  auto quiet = RecordingCentral::make({.showPowerAlert = false});
  EXPECT_EQ(phone->central().state(), ManagerState::unknown);
  EXPECT_TRUE(phone->events.empty());
  runFor(milliseconds(1));
  EXPECT_EQ(phone->events, (std::vector<std::string>{"state 5"}));
  radio->setAdapterState(ManagerState::unauthorized);
  radio->setAdapterState(ManagerState::poweredOff);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->events, (std::vector<std::string>{"state 5", "state 3", "state 4"}));
  EXPECT_EQ(quiet->events, phone->events);
  // Only a central made with the power alert, meeting an adapter that is off, offers it.
  EXPECT_EQ(radio->powerAlertsShown(), 0);
  auto late = RecordingCentral::make();
  auto lateQuiet = RecordingCentral::make({.showPowerAlert = false});
  EXPECT_EQ(radio->powerAlertsShown(), 1);
  // A scan with the adapter off finds nothing.
  runFor(milliseconds(1));
  late->central().scanForPeripherals({.allowDuplicates = true});
  runFor(milliseconds(500));
  EXPECT_EQ(late->count("discover"), 0u);
  EXPECT_FALSE(late->central().isScanning());
}

TEST_F(SimulatedRadioTest, ScansReportNamesAsAdvertisedWithAndWithoutDuplicates) {
  auto nameless = std::make_shared<SimulatedPeripheral>(std::nullopt);
  auto spaced = std::make_shared<SimulatedPeripheral>(" Truck 7\n");
  spaced->setRssi(-80);
  spaced->setAdvertisingInterval(milliseconds(250));
  radio->addPeripheral(nameless);
  radio->addPeripheral(spaced);
  auto once = RecordingCentral::make();
  auto every = RecordingCentral::make();
  runFor(milliseconds(1));
  once->central().scanForPeripherals({.allowDuplicates = false});
  every->central().scanForPeripherals({.allowDuplicates = true});
  runFor(milliseconds(1000));
  EXPECT_EQ(once->count("discover"), 3u);
  EXPECT_EQ(every->count("discover Sensor rssi=-60 named"), 10u);
  EXPECT_EQ(every->count("discover  Truck 7\n rssi=-80 named"), 4u);
  EXPECT_EQ(every->count("discover <none>"), 10u);
  EXPECT_EQ(every->count("discover <none> rssi=-60 named"), 0u) << "a nameless device advertises no name";
  // Each central has one handle per device, the same object every time.
  EXPECT_EQ(every->peripheral("Sensor"), every->peripheral("Sensor"));
  EXPECT_NE(every->peripheral("Sensor"), once->peripheral("Sensor"));
  EXPECT_EQ(every->peripheral("Sensor")->identifier(), device->identifier());
  every->central().stopScan();
  once->central().stopScan();
  std::size_t before = every->count("discover");
  radio->simulateAdvertisement(*device);
  runFor(milliseconds(500));
  EXPECT_EQ(every->count("discover"), before);
  EXPECT_EQ(radio->countOperations("scan allowDuplicates=1"), 1u);
}

TEST_F(SimulatedRadioTest, ConnectionsSucceedFailOrNeverCompleteAsQueued) {
  radio->setConnectLatency(milliseconds(40));
  auto phone = RecordingCentral::make();
  runFor(milliseconds(1));
  phone->central().scanForPeripherals();
  runFor(milliseconds(100));
  auto peripheral = phone->peripheral("Sensor");
  ASSERT_TRUE(peripheral);

  radio->simulateConnectionFailure("Peer removed pairing information");
  radio->simulateConnectionStall();
  phone->central().connect(*peripheral);
  EXPECT_EQ(peripheral->state(), PeripheralState::connecting);
  runFor(milliseconds(39));
  EXPECT_EQ(phone->count("fail"), 0u);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->count("fail Peer removed pairing information"), 1u);
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);

  phone->central().connect(*peripheral);
  runFor(std::chrono::seconds(30));
  EXPECT_EQ(peripheral->state(), PeripheralState::connecting) << "a stalled connection never completes";
  phone->central().cancelPeripheralConnection(*peripheral);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->count("disconnect -"), 1u);

  phone->central().connect(*peripheral);
  runFor(milliseconds(40));
  EXPECT_EQ(phone->count("connect Sensor"), 1u);
  EXPECT_TRUE(device->isConnected());
  radio->simulateLinkLoss(*device);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->events.back(), "disconnect The connection has timed out unexpectedly.");
  EXPECT_FALSE(device->isConnected());
  // Operations on a dropped link are ignored without a callback.
  std::size_t before = phone->events.size();
  peripheral->discoverServices();
  runFor(milliseconds(10));
  EXPECT_EQ(phone->events.size(), before);
}

TEST_F(SimulatedRadioTest, GattDiscoveryReadsNotificationsAndWrites) {
  auto phone = RecordingCentral::make();
  runFor(milliseconds(1));
  auto peripheral = connectAndDiscover(*phone);
  ASSERT_TRUE(peripheral);
  EXPECT_EQ(phone->count("services 1"), 1u);
  EXPECT_EQ(phone->count("characteristics FFE0 3"), 1u);
  auto notifying = phone->characteristic(kNotify);
  auto writable = phone->characteristic(kWrite);
  auto readable = phone->characteristic(kRead);
  ASSERT_TRUE(notifying && writable && readable);
  EXPECT_EQ(notifying->service()->uuid(), kService);

  // Nothing arrives before subscribing.
  EXPECT_EQ(device->notify(kNotify, {9}), 0u);
  peripheral->setNotifyValue(true, *notifying);
  peripheral->setNotifyValue(true, *readable);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->count("notifying on"), 1u);
  EXPECT_EQ(phone->count("notifying error"), 1u);
  // Two notifications in one turn: each callback sees its own value.
  EXPECT_EQ(device->notify(kNotify, {1}), 1u);
  EXPECT_EQ(device->notify(kNotify, {2, 3}), 1u);
  peripheral->readValue(*readable);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->values, (std::vector<Bytes>{{1}, {2, 3}, {0x01, 0x02}}));

  peripheral->writeValue({0xAA}, *writable, WriteType::withResponse);
  radio->simulateWriteFailure("Writing is not permitted.");
  peripheral->writeValue({0xBB}, *writable, WriteType::withResponse);
  peripheral->writeValue({0xCC, 0xDD}, *writable, WriteType::withoutResponse);
  runFor(milliseconds(1));
  EXPECT_EQ(written, (std::vector<Bytes>{{0xAA}, {0xCC, 0xDD}})) << "a failed write never reaches the device";
  EXPECT_EQ(writeTypes.back(), WriteType::withoutResponse);
  EXPECT_EQ(phone->count("written ok"), 1u);
  EXPECT_EQ(phone->count("written Writing is not permitted."), 1u);
  EXPECT_EQ(radio->countOperations("write "), 3u);
  EXPECT_EQ(peripheral->maximumWriteValueLength(WriteType::withoutResponse), 182u);
  EXPECT_EQ(peripheral->maximumWriteValueLength(WriteType::withResponse), 512u);
}

TEST_F(SimulatedRadioTest, WritesWithoutResponseFollowTheCreditModel) {
  device->setWriteCredits(2, std::nullopt);
  auto phone = RecordingCentral::make();
  runFor(milliseconds(1));
  auto peripheral = connectAndDiscover(*phone);
  ASSERT_TRUE(peripheral);
  auto writable = phone->characteristic(kWrite);
  EXPECT_TRUE(peripheral->canSendWriteWithoutResponse());
  peripheral->writeValue({1}, *writable, WriteType::withoutResponse);
  peripheral->writeValue({2}, *writable, WriteType::withoutResponse);
  EXPECT_FALSE(peripheral->canSendWriteWithoutResponse());
  peripheral->writeValue({3}, *writable, WriteType::withoutResponse);
  runFor(milliseconds(50));
  EXPECT_EQ(written, (std::vector<Bytes>{{1}, {2}}));
  EXPECT_EQ(radio->countOperations("writeDropped"), 1u);
  EXPECT_EQ(phone->count("ready"), 0u);
  radio->returnWriteCredits(*device, 1);
  EXPECT_TRUE(peripheral->canSendWriteWithoutResponse());
  runFor(milliseconds(1));
  EXPECT_EQ(phone->count("ready"), 1u);
  radio->returnWriteCredits(*device, 5);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->count("ready"), 1u) << "ready only follows a blocked link";

  // With automatic return, credits come back after the delay.
  device->setWriteCredits(1, milliseconds(10));
  radio->simulateLinkLoss(*device);
  runFor(milliseconds(1));
  phone->central().connect(*peripheral);
  runFor(milliseconds(100));
  peripheral->writeValue({4}, *writable, WriteType::withoutResponse);
  EXPECT_FALSE(peripheral->canSendWriteWithoutResponse());
  runFor(milliseconds(10));
  EXPECT_TRUE(peripheral->canSendWriteWithoutResponse());
  EXPECT_EQ(phone->count("ready"), 2u);
}

TEST_F(SimulatedRadioTest, AdapterOffDropsLinksAfterTheStateReport) {
  auto phone = RecordingCentral::make();
  runFor(milliseconds(1));
  auto peripheral = connectAndDiscover(*phone);
  ASSERT_TRUE(peripheral);
  phone->events.clear();
  radio->setAdapterState(ManagerState::resetting);
  runFor(milliseconds(1));
  EXPECT_EQ(phone->events, (std::vector<std::string>{"state 1", "disconnect Bluetooth was powered off."}));
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  phone->central().connect(*peripheral);
  runFor(std::chrono::seconds(1));
  EXPECT_EQ(phone->count("connect"), 0u) << "no connection while the adapter is not on";
  // A device that leaves range is never reached again.
  radio->setAdapterState(ManagerState::poweredOn);
  radio->removePeripheral(*device);
  phone->central().connect(*peripheral);
  runFor(std::chrono::seconds(1));
  EXPECT_EQ(phone->count("connect"), 0u);
}

}  // namespace
}  // namespace lumo::test
