#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ble/bluez/BluezBus.h"
#include "platform/ble/bluez/BluezLink.h"
#include "tests/bluez/BluezTest.h"

namespace lumo::test {
namespace {

using namespace platform::ble;
using platform::Bytes;
using std::chrono::milliseconds;
using BluezGattTest = BluezTest;

const Uuid kNotify = *Uuid::fromString("FFE1");
const Uuid kWrite = *Uuid::fromString("FFE2");

bool hasLine(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

TEST_F(BluezGattTest, NotificationsReadsAndBothWriteTypesUseTheCharacteristicObjects) {
  auto peripheral = connectToGattDevice();
  ASSERT_TRUE(peripheral);
  auto notify = phone->characteristic(kNotify);
  auto write = phone->characteristic(kWrite);
  ASSERT_TRUE(notify && write);
  EXPECT_EQ(notify->properties(), property::read | property::notify);
  EXPECT_EQ(write->properties(), property::write | property::writeWithoutResponse);
  EXPECT_EQ(peripheral->maximumWriteValueLength(WriteType::withoutResponse), 20u) << "no MTU known: ATT default";
  EXPECT_EQ(peripheral->maximumWriteValueLength(WriteType::withResponse), 512u);

  bluez->notify(notifyPath, {9});
  peripheral->setNotifyValue(true, *notify);
  ASSERT_TRUE(waitForEvent("notifying on")) << lastEvent();
  EXPECT_EQ(phone->count("value"), 0u) << "a value before subscribing is not delivered";
  bluez->notify(notifyPath, {1, 2, 3});
  bluez->notify(notifyPath, {});
  std::vector<int> big(512);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<int>(i & 0xFF);
  bluez->notify(notifyPath, big);
  ASSERT_TRUE(waitForEvent("value FFE1", 3));
  EXPECT_EQ(phone->values[0], (Bytes{1, 2, 3}));
  EXPECT_TRUE(phone->values[1].empty());
  EXPECT_EQ(phone->values[2].size(), 512u);
  EXPECT_EQ(phone->values[2][511], 511 & 0xFF);

  peripheral->readValue(*notify);
  ASSERT_TRUE(waitForEvent("value FFE1", 4));
  EXPECT_EQ(phone->values.back().size(), 512u) << "a read returns the current value";

  // Longer than an attribute can be: neither a notification nor a read delivers it.
  big.push_back(7);
  bluez->notify(notifyPath, big);
  peripheral->readValue(*notify);
  ASSERT_TRUE(waitForEvent("valueError"));
  EXPECT_EQ(phone->count("value FFE1"), 4u);
  EXPECT_TRUE(consoleHas("BlueZ: ignored a value of 513 bytes on " + notifyPath + " (at most 512)"));

  peripheral->writeValue(Bytes{0x0a, 0x0b}, *write, WriteType::withResponse);
  ASSERT_TRUE(waitForEvent("written"));
  EXPECT_EQ(lastEvent(), "written ok");
  peripheral->writeValue(Bytes{0xff}, *write, WriteType::withoutResponse);
  ASSERT_TRUE(waitFor([&] { return bluez->writtenValues().size() == 2; }));
  EXPECT_EQ(bluez->writtenValues(), (std::vector<std::string>{writePath + " 0a0b request", writePath + " ff command"}));
  EXPECT_EQ(phone->count("written"), 1u) << "a write without response has no answer";

  peripheral->setNotifyValue(false, *notify);
  ASSERT_TRUE(waitForEvent("notifying off"));
  bluez->notify(notifyPath, {4});
  peripheral->readValue(*notify);  // its answer proves the notification had its chance
  ASSERT_TRUE(waitForEvent("value FFE1", 5));
  EXPECT_EQ(phone->values.back(), Bytes{4});
  EXPECT_EQ(phone->values.size(), 5u);
}

TEST_F(BluezGattTest, TheLinkMtuSetsTheWriteLength) {
  auto peripheral = connectToGattDevice(247);
  ASSERT_TRUE(peripheral);
  EXPECT_EQ(peripheral->maximumWriteValueLength(WriteType::withoutResponse), 244u);
}

TEST_F(BluezGattTest, AcquireWriteTellsTheMtuWhereNoPropertyDoes) {
  auto peripheral = connectToGattDevice(0, 185);
  ASSERT_TRUE(peripheral);
  ASSERT_TRUE(waitFor([&] { return peripheral->maximumWriteValueLength(WriteType::withoutResponse) != 20u; }));
  EXPECT_EQ(peripheral->maximumWriteValueLength(WriteType::withoutResponse), 182u);
  // Writes still go through WriteValue: the acquired socket only told the MTU.
  peripheral->writeValue(Bytes{1}, *phone->characteristic(kWrite), WriteType::withoutResponse);
  ASSERT_TRUE(waitFor([&] { return bluez->writtenValues().size() == 1; }));
}

TEST_F(BluezGattTest, WritesWithoutResponseAreBoundedAndReadinessReturns) {
  auto peripheral = connectToGattDevice();
  ASSERT_TRUE(peripheral);
  auto write = phone->characteristic(kWrite);
  // A slow radio: each write takes the mock a while to accept.
  bluez->replaceMethod(writePath, "org.bluez.GattCharacteristic1", "WriteValue", "aya{sv}", "",
                       "import time\ntime.sleep(0.02)\n"
                       "objects['/'].written.append(self.path + ' ' + bytes(args[0]).hex() + ' ' + str(args[1]['type']))");
  int sent = 0;
  while (peripheral->canSendWriteWithoutResponse() && sent < 100) {
    peripheral->writeValue(Bytes{static_cast<std::uint8_t>(sent)}, *write, WriteType::withoutResponse);
    ++sent;
  }
  EXPECT_EQ(sent, BluezLink::kMaxOutstandingWrites);
  peripheral->writeValue(Bytes{0xee}, *write, WriteType::withoutResponse);
  EXPECT_TRUE(hasLine(consoleLines(), "BlueZ: write without response dropped"));
  ASSERT_TRUE(waitForEvent("ready"));
  EXPECT_TRUE(peripheral->canSendWriteWithoutResponse());
  ASSERT_TRUE(waitFor([&] { return bluez->writtenValues().size() == static_cast<std::size_t>(sent); }));
  for (const auto& line : bluez->writtenValues()) EXPECT_EQ(line.find("ee"), std::string::npos) << line;
}

TEST_F(BluezGattTest, AValueStormIsCappedAndTheLinkKeepsWorking) {
  auto peripheral = connectToGattDevice();
  ASSERT_TRUE(peripheral);
  peripheral->setNotifyValue(true, *phone->characteristic(kNotify));
  ASSERT_TRUE(waitForEvent("notifying on")) << lastEvent();
  // The main thread is busy in this call while the mock sends thousands of changes.
  bluez->runInMock("o = objects['" + notifyPath + "']\n"
                   "for i in range(3000):\n"
                   "  o.UpdateProperties('org.bluez.GattCharacteristic1', {'Value': dbus.Array([i & 255, i >> 8], signature='y')})\n");
  bluez->notify(notifyPath, {0x42});
  ASSERT_TRUE(waitFor([&] { return !phone->values.empty() && phone->values.back() == Bytes{0x42}; }));
  // Only what waits at one time is capped, so more than the cap may arrive in all, never everything.
  EXPECT_LT(phone->values.size(), 3001u);
  EXPECT_TRUE(hasLine(consoleLines(), "value changes while the main queue was behind"));
  int previous = -1;
  for (std::size_t i = 0; i + 1 < phone->values.size(); ++i) {
    ASSERT_EQ(phone->values[i].size(), 2u);
    int sequence = phone->values[i][0] | (phone->values[i][1] << 8);
    EXPECT_GT(sequence, previous) << "values arrive in order";
    previous = sequence;
  }
  EXPECT_EQ(previous, 2999) << "the newest values survive a storm";
  EXPECT_EQ(peripheral->state(), PeripheralState::connected);
}

TEST_F(BluezGattTest, ACharacteristicThatVanishesOrSendsNonsenseIsIgnored) {
  auto peripheral = connectToGattDevice();
  ASSERT_TRUE(peripheral);
  auto notify = phone->characteristic(kNotify);
  auto write = phone->characteristic(kWrite);
  peripheral->setNotifyValue(true, *notify);
  ASSERT_TRUE(waitForEvent("notifying on")) << lastEvent();
  bluez->updateProperties(notifyPath, "org.bluez.GattCharacteristic1", {{"Value", "dbus.String('text')"}});
  bluez->removeObject(writePath, "org.bluez.GattCharacteristic1");
  bluez->notify(notifyPath, {7});
  ASSERT_TRUE(waitForEvent("value FFE1"));
  EXPECT_EQ(phone->values, std::vector<Bytes>{Bytes{7}});
  EXPECT_TRUE(hasLine(consoleLines(), "BlueZ: ignored a Value that is not bytes on " + notifyPath));
  EXPECT_TRUE(hasLine(consoleLines(), "BlueZ: characteristic FFE2 of " + devicePath + " went away"));

  peripheral->writeValue(Bytes{1}, *write, WriteType::withResponse);
  peripheral->writeValue(Bytes{2}, *write, WriteType::withoutResponse);
  EXPECT_TRUE(hasLine(consoleLines(), "BlueZ: write to characteristic FFE2 ignored: it is no longer on the device"));
  peripheral->readValue(*notify);
  ASSERT_TRUE(waitForEvent("value FFE1", 2));
  EXPECT_TRUE(bluez->writtenValues().empty());

  // A reply of the wrong shape is an error for that read, nothing more.
  bluez->replaceMethod(notifyPath, "org.bluez.GattCharacteristic1", "ReadValue", "a{sv}", "s", "ret = 'nope'");
  peripheral->readValue(*notify);
  ASSERT_TRUE(waitForEvent("valueError"));
  EXPECT_EQ(lastEvent(), "valueError malformed reply to ReadValue");
  EXPECT_EQ(phone->values.back(), Bytes{7});
  EXPECT_EQ(phone->count("written"), 0u);
  EXPECT_EQ(peripheral->state(), PeripheralState::connected);
}

}  // namespace
}  // namespace lumo::test
