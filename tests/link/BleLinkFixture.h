#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lumosdk/utils/BluetoothUtil.h"
#include "lumosdk/utils/ControlUtil.h"
#include "lumosdk/utils/LumoBluetoothManager.h"
#include "platform/ble/Radio.h"
#include "platform/ble/simulated/SimulatedRadio.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

// Records every manager delegate call as a line of text.
class ManagerRecorder final : public LumoBluetoothScanResultDelegate,
                              public LumoBluetoothConnectionStateDelegate,
                              public LumoBluetoothServicesDiscoveredDelegate,
                              public LumoBluetoothDataReceivedDelegate,
                              public LumoBluetoothScanTimeoutDelegate,
                              public LumoBluetoothConnectionTimeoutDelegate,
                              public LumoBluetoothMtuChangedDelegate {
 public:
  void onScanResult(const std::shared_ptr<platform::ble::Peripheral>& peripheral, int,
                    const platform::ble::AdvertisementData&) override {
    if (peripheral->name()) found[*peripheral->name()] = peripheral;
    events.push_back("scan " + peripheral->name().value_or("<none>"));
  }
  void onConnectionStateChange(const std::shared_ptr<platform::ble::Peripheral>&,
                               LumoBluetoothConnectionState state) override {
    events.push_back("state " + std::to_string(static_cast<int>(state)));
  }
  void onServicesDiscovered(const std::shared_ptr<platform::ble::Peripheral>&,
                            const std::vector<std::shared_ptr<platform::ble::Service>>& services) override {
    events.push_back("services " + std::to_string(services.size()));
  }
  void onDataReceived(const std::shared_ptr<platform::ble::Peripheral>&, const platform::ble::Uuid&,
                      const platform::Bytes& value) override {
    values.push_back(value);
  }
  void onScanTimeout() override { events.push_back("scanTimeout"); }
  void onConnectionTimeout(const std::shared_ptr<platform::ble::Peripheral>&) override {
    events.push_back("connectionTimeout");
  }
  void onMtuChanged(const std::shared_ptr<platform::ble::Peripheral>&, int mtu, bool success) override {
    events.push_back("mtu " + std::to_string(mtu) + (success ? " ok" : " failed"));
  }

  void attach(LumoBluetoothManager& manager, const std::shared_ptr<ManagerRecorder>& self) {
    manager.setScanResultDelegate(self);
    manager.setConnectionStateDelegate(self);
    manager.setServicesDiscoveredDelegate(self);
    manager.setDataReceivedDelegate(self);
    manager.setScanTimeoutDelegate(self);
    manager.setConnectionTimeoutDelegate(self);
    manager.setMtuChangedDelegate(self);
  }
  std::size_t count(const std::string& event) const {
    std::size_t n = 0;
    for (const auto& e : events) n += e == event ? 1 : 0;
    return n;
  }

  std::vector<std::string> events;
  std::vector<platform::Bytes> values;
  std::map<std::string, std::shared_ptr<platform::ble::Peripheral>> found;
};

class BleLinkTest : public VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    radio = platform::ble::Radio::useSimulatedRadio();
    BluetoothUtil::resetForTesting();
    ControlUtil::resetForTesting();
  }
  void TearDown() override {
    EXPECT_EQ(radio->unusedReplies(), 0u) << "a queued reply was never used";
    BluetoothUtil::resetForTesting();
    if (auto manager = LumoBluetoothManager::getInstance()) manager->close();
    VirtualTimeTest::TearDown();
  }
  std::size_t consoleCount(const std::string& line) const {
    std::size_t n = 0;
    for (const auto& l : consoleLines()) n += l == line ? 1 : 0;
    return n;
  }

  std::shared_ptr<platform::ble::SimulatedRadio> radio;
};

}  // namespace lumo::test
