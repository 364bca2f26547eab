// The vehicle link's seven adapters: each receives one kind of LumoBluetoothManager event and
// applies the link's rules to it. The manager holds them weakly; the link state keeps them.

#include <algorithm>

#include "lumosdk/recorder/SessionEvents.h"
#include "lumosdk/utils/BluetoothUtilState.h"
#include "lumosdk/utils/ControlUtil.h"
#include "platform/dispatch/DispatchQueue.h"

namespace lumo::link {
namespace {

using platform::Bytes;
using PeripheralPtr = std::shared_ptr<platform::ble::Peripheral>;
namespace property = platform::ble::property;

constexpr int kMaxRetries = 3;
// From this accepted frame on the link counts as established and is not reconnected.
constexpr int kFramesBeforeNoRetry = 10;
constexpr platform::dispatch::Seconds kRetryDelay{1.0};

std::string trimmed(const std::string& text) {
  // White space and line breaks, as the platform's character set has them (ASCII part).
  const char* blanks = " \t\n\r\v\f";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

class ScanResultAdapter final : public LumoBluetoothScanResultDelegate {
 public:
  void onScanResult(const PeripheralPtr& peripheral, int, const platform::ble::AdvertisementData&) override {
    auto& s = state();
    // Results still queued when the search ended or matched are not matched again.
    if (s.ended || s.bluetoothDevice) return;
    if (!peripheral || !peripheral->name()) return;
    // An empty target (a session that ended) would match any blank name.
    if (s.slaverDeviceName.empty() || trimmed(*peripheral->name()) != s.slaverDeviceName) return;
    log("Found target device: " + *peripheral->name() +
        " with identifier: " + LumoBluetoothManager::peripheralKey(peripheral));
    s.bluetoothDevice = peripheral;
    if (s.bluetoothManager) s.bluetoothManager->stopScan();
    updateState(ConnectState::connectingDevice);
    if (!connectDevice()) connectionAttemptEnded();
  }
};

class ScanTimeoutAdapter final : public LumoBluetoothScanTimeoutDelegate {
 public:
  void onScanTimeout() override {
    log("Scan timeout");
    if (!state().ended) updateState(ConnectState::scanTimedOut);
  }
};

class ConnectionTimeoutAdapter final : public LumoBluetoothConnectionTimeoutDelegate {
 public:
  void onConnectionTimeout(const PeripheralPtr& peripheral) override {
    log("Connection timeout for device: " + LumoBluetoothManager::peripheralKey(peripheral));
    // The manager reported the attempt's end just before, which usually settled it already.
    if (isSessionDevice(peripheral)) connectionAttemptEnded();
  }
};

class MtuChangedAdapter final : public LumoBluetoothMtuChangedDelegate {
 public:
  void onMtuChanged(const PeripheralPtr&, int mtu, bool success) override {
    if (success) {
      log("MTU set successfully to: " + std::to_string(mtu));
    } else {
      log("MTU change failed");
    }
  }
};

class ConnectionStateAdapter final : public LumoBluetoothConnectionStateDelegate {
 public:
  void onConnectionStateChange(const PeripheralPtr& peripheral, LumoBluetoothConnectionState newState) override {
    auto& s = state();
    // Events of an ended session, or of peripherals that are not the session's (another user
    // of the manager, a previous vehicle whose link closes late), are not the link's to act on.
    if (!isSessionDevice(peripheral)) return;
    if (s.lastConnectionState == newState) return;
    auto previous = s.lastConnectionState;
    s.lastConnectionState = newState;
    std::string key = LumoBluetoothManager::peripheralKey(peripheral);
    if (newState == LumoBluetoothConnectionState::connected) {
      s.reconnecting = false;
      updateState(ConnectState::linkConnected);
      log("Connected to device: " + key);
    } else if (newState == LumoBluetoothConnectionState::disconnected) {
      if (previous == LumoBluetoothConnectionState::connected) {
        linkLost(peripheral, key);
      } else if (previous == LumoBluetoothConnectionState::connecting) {
        connectionAttemptEnded();
      } else if (previous == LumoBluetoothConnectionState::disconnecting) {
        // Closed by another user of the manager: the page must not go on looking connected.
        forgetDevice();
        updateState(ConnectState::idle);
      }
    }
  }

 private:
  static void linkLost(const PeripheralPtr& peripheral, const std::string& key) {
    auto& s = state();
    log("Disconnected from device: " + key);
    // The lost link's characteristics are not written to; a reconnect discovers them anew.
    s.services.reset();
    if (!s.canRetry || s.retryCount >= kMaxRetries) {
      forgetDevice();
      updateState(ConnectState::idle);
      return;
    }
    s.retryCount += 1;
    log("Connection lost before Setting HIGH connection priority, retrying... (" + std::to_string(s.retryCount) +
        "/3)");
    std::uint64_t session = s.session;
    platform::dispatch::DispatchQueue::main()->asyncAfter(kRetryDelay, [peripheral, session] {
      auto& later = state();
      // A session ended or restarted meanwhile must not be revived by a stale reconnect.
      if (later.session != session || later.ended || !later.canRetry) return;
      log("Retrying connection attempt " + std::to_string(later.retryCount));
      later.bluetoothDevice = peripheral;
      later.reconnecting = true;
      bool adapterOn = later.bluetoothManager && later.bluetoothManager->isBluetoothEnabled();
      if (!adapterOn || !connectDevice()) connectionAttemptEnded();
    });
  }
};

class ServicesDiscoveredAdapter final : public LumoBluetoothServicesDiscoveredDelegate {
 public:
  void onServicesDiscovered(const PeripheralPtr& peripheral,
                            const std::vector<std::shared_ptr<platform::ble::Service>>& services) override {
    auto& s = state();
    if (!isSessionDevice(peripheral)) return;
    s.services = services;
    if (services.empty() || !s.bluetoothManager) return;
    auto last = services.back();
    if (!last->characteristics()) return;
    auto characteristics = *last->characteristics();
    for (const auto& characteristic : characteristics) {
      if (characteristic->hasProperty(property::notify)) {
        s.bluetoothManager->setCharacteristicNotification(peripheral, last->uuid(), characteristic->uuid(), true);
      }
      if (characteristic->hasProperty(property::read)) {
        s.bluetoothManager->readCharacteristic(peripheral, last->uuid(), characteristic->uuid());
      }
    }
  }
};

class DataReceivedAdapter final : public LumoBluetoothDataReceivedDelegate {
 public:
  void onDataReceived(const PeripheralPtr& peripheral, const platform::ble::Uuid&, const Bytes& value) override {
    using recorder::StateRefusal;
    auto& s = state();
    auto refuse = [&](StateRefusal why) { recorder::SessionEvents::stateFrameReceived(value, why); };
    // Cheapest checks first: this runs for every frame of the session.
    if (value == s.lastData) return refuse(StateRefusal::repeat);
    if (value.size() != 8) return refuse(value.size() < 8 ? StateRefusal::shortFrame : StateRefusal::longFrame);
    if (!isSessionDevice(peripheral)) return refuse(StateRefusal::otherDevice);
    s.lastData = value;
    if (!ControlUtil::checkData(value)) return refuse(StateRefusal::checksum);
    ControlUtil::decodeState(value);
    recorder::SessionEvents::stateFrameReceived(value, StateRefusal::none);
    std::uint64_t session = s.session;
    // A copy: the listener may replace itself.
    if (auto listener = s.onDataListener) listener(value);
    // The listener ended the session or began another: the count belongs to that one now.
    if (s.session != session) return;
    s.dataSendCount += 1;
    if (s.dataSendCount >= kFramesBeforeNoRetry) s.canRetry = false;
  }
};

}  // namespace

void setupCallbacks() {
  auto& s = state();
  if (!s.bluetoothManager) return;
  s.scanResultAdapter = std::make_shared<ScanResultAdapter>();
  s.scanTimeoutAdapter = std::make_shared<ScanTimeoutAdapter>();
  s.connectionTimeoutAdapter = std::make_shared<ConnectionTimeoutAdapter>();
  s.mtuChangedAdapter = std::make_shared<MtuChangedAdapter>();
  s.connectionStateAdapter = std::make_shared<ConnectionStateAdapter>();
  s.servicesDiscoveredAdapter = std::make_shared<ServicesDiscoveredAdapter>();
  s.dataReceivedAdapter = std::make_shared<DataReceivedAdapter>();
  s.bluetoothManager->setScanResultDelegate(s.scanResultAdapter);
  s.bluetoothManager->setScanTimeoutDelegate(s.scanTimeoutAdapter);
  s.bluetoothManager->setConnectionTimeoutDelegate(s.connectionTimeoutAdapter);
  s.bluetoothManager->setMtuChangedDelegate(s.mtuChangedAdapter);
  s.bluetoothManager->setConnectionStateDelegate(s.connectionStateAdapter);
  s.bluetoothManager->setServicesDiscoveredDelegate(s.servicesDiscoveredAdapter);
  s.bluetoothManager->setDataReceivedDelegate(s.dataReceivedAdapter);
}

}  // namespace lumo::link
