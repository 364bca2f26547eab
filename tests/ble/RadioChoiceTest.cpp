#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/ble/Radio.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {
namespace {

using platform::ble::Radio;
using platform::ble::RadioKind;

using RadioChoiceTest = VirtualTimeTest;

TEST_F(RadioChoiceTest, TheHostsPickWinsThenLumoBleThenTheSimulatedRadio) {
  ::unsetenv("LUMO_BLE");
  EXPECT_EQ(Radio::kind(), RadioKind::simulated);
  ::setenv("LUMO_BLE", "bluez", 1);
  EXPECT_EQ(Radio::kind(), RadioKind::bluez);
  ::setenv("LUMO_BLE", "BlueZ", 1);
  EXPECT_EQ(Radio::kind(), RadioKind::simulated) << "names are exact";
  EXPECT_TRUE(consoleHas("Radio: unknown LUMO_BLE \"BlueZ\", using the simulated radio"));
  ::setenv("LUMO_BLE", "bluez", 1);
  Radio::useRadio(RadioKind::simulated);
  EXPECT_EQ(Radio::kind(), RadioKind::simulated);
  Radio::resetForTesting();
  EXPECT_EQ(Radio::kind(), RadioKind::bluez);
  EXPECT_EQ(Radio::kindNamed("sim"), RadioKind::simulated);
  EXPECT_FALSE(Radio::kindNamed(""));
  ::unsetenv("LUMO_BLE");
}

}  // namespace
}  // namespace lumo::test
