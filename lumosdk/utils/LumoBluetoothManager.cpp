#include "lumosdk/utils/LumoBluetoothManager.h"

#include <set>

#include "lumosdk/utils/LumoBluetoothManagerBridge.h"
#include "lumosdk/utils/LumoBluetoothManagerFields.h"
#include "platform/ble/Radio.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/ConsoleLog.h"

namespace lumo {

using platform::ble::ManagerState;
using platform::ble::PeripheralState;
using platform::ble::Uuid;
using platform::dispatch::Seconds;
using platform::dispatch::Timer;

namespace {

constexpr Seconds kScanTimeout{15.0};
constexpr Seconds kConnectionTimeout{10.0};
constexpr Seconds kAdapterRecheckDelay{1.0};
// ATT header bytes added to the usable payload when reporting the MTU.
constexpr int kAttHeaderBytes = 3;

std::shared_ptr<LumoBluetoothManager>& instanceSlot() {
  static std::shared_ptr<LumoBluetoothManager> instance;
  return instance;
}

std::string errorText(const std::optional<platform::ble::Error>& error, const char* fallback) {
  return error ? error->localizedDescription : std::string(fallback);
}

template <typename T>
void invalidateAndErase(std::map<std::string, std::shared_ptr<T>>& timers, const std::string& key) {
  auto it = timers.find(key);
  if (it == timers.end()) return;
  if (it->second) it->second->invalidate();
  timers.erase(it);
}

}  // namespace

void managerLog(const std::string& text) {
  platform::foundation::ConsoleLog::write("LUMOSDK_BluetoothManager: " + text);
}

std::shared_ptr<LumoBluetoothManager> LumoBluetoothManager::getInstance() {
  auto& instance = instanceSlot();
  if (!instance) {
    instance = std::shared_ptr<LumoBluetoothManager>(new LumoBluetoothManager());
    instance->setUp();
  }
  return instance;
}

LumoBluetoothManager::LumoBluetoothManager() : fields_(std::make_unique<Fields>()) {}

LumoBluetoothManager::~LumoBluetoothManager() {
  // Timers hold the manager while scheduled, so by now none of them can still fire for it.
  if (fields_->centralManager) fields_->centralManager->setDelegate({});
}

void LumoBluetoothManager::setUp() {
  fields_->bridge = std::make_shared<LumoBluetoothManagerBridge>(weak_from_this());
  // No options and no queue: every central and peripheral callback comes on the main queue.
  fields_->centralManager = platform::ble::Radio::makeCentralManager(fields_->bridge);
}

std::string LumoBluetoothManager::peripheralKey(const PeripheralPtr& peripheral) {
  return peripheral ? peripheral->identifier().fullString() : std::string();
}

bool LumoBluetoothManager::isBluetoothEnabled() const {
  return fields_->centralManager->state() == ManagerState::poweredOn;
}

LumoBluetoothAdapterState LumoBluetoothManager::getAdapterState() const {
  switch (fields_->centralManager->state()) {
    case ManagerState::poweredOff: return LumoBluetoothAdapterState::poweredOff;
    case ManagerState::poweredOn: return LumoBluetoothAdapterState::poweredOn;
    case ManagerState::resetting: return LumoBluetoothAdapterState::resetting;
    default: return LumoBluetoothAdapterState::unknown;
  }
}

bool LumoBluetoothManager::isScanning() const { return fields_->isScanning; }

bool LumoBluetoothManager::startScan() {
  if (!isBluetoothEnabled()) {
    managerLog("Cannot start scan, Bluetooth is not enabled");
    platform::dispatch::DispatchQueue::main()->asyncAfter(kAdapterRecheckDelay, [weak = weak_from_this()] {
      auto manager = weak.lock();
      if (manager && manager->isBluetoothEnabled()) manager->startScan();
    });
    return false;
  }
  if (fields_->isScanning) {
    managerLog("Scan already in progress");
    return false;
  }
  fields_->isScanning = true;
  fields_->seenThisScan.clear();
  fields_->centralManager->scanForPeripherals({.allowDuplicates = true});
  if (fields_->scanTimer) fields_->scanTimer->invalidate();
  fields_->scanTimer = Timer::scheduled(kScanTimeout, false, [self = shared_from_this()](Timer&) { self->scanTimeout(); });
  managerLog("Started scanning for devices");
  return true;
}

void LumoBluetoothManager::stopScan() {
  if (!fields_->isScanning) return;
  fields_->centralManager->stopScan();
  fields_->isScanning = false;
  if (fields_->scanTimer) fields_->scanTimer->invalidate();
  fields_->scanTimer.reset();
  // A peripheral this scan did not hear is forgotten unless a link to it is up or coming up.
  std::erase_if(fields_->knownPeripherals, [this](const auto& item) {
    return !fields_->seenThisScan.count(item.first) && !fields_->connectedPeripherals.count(item.first) &&
           !fields_->currentlyConnectingPeripherals.count(item.first);
  });
  fields_->seenThisScan.clear();
  managerLog("Stopped scanning for devices");
}

void LumoBluetoothManager::scanTimeout() {
  if (!fields_->isScanning) return;
  stopScan();
  if (auto delegate = fields_->scanTimeoutDelegate.lock()) delegate->onScanTimeout();
  managerLog("Scan timed out.");
}

void LumoBluetoothManager::discovered(const PeripheralPtr& peripheral, const platform::ble::AdvertisementData& data,
                                      int rssi) {
  std::string key = peripheralKey(peripheral);
  fields_->knownPeripherals[key] = peripheral;
  fields_->seenThisScan.insert(key);
  if (auto delegate = fields_->scanResultDelegate.lock()) delegate->onScanResult(peripheral, rssi, data);
}

bool LumoBluetoothManager::connect(const PeripheralPtr& peripheral, bool /*autoConnect*/) {
  std::string key = peripheralKey(peripheral);
  if (key.empty()) {
    managerLog("Invalid peripheral");
    return false;
  }
  if (fields_->connectedPeripherals.count(key) || fields_->currentlyConnectingPeripherals.count(key)) {
    managerLog("Device is already connected or connecting: " + key);
    return false;
  }
  updateConnectionState(peripheral, LumoBluetoothConnectionState::connecting);
  fields_->knownPeripherals[key] = peripheral;
  peripheral->setDelegate(fields_->bridge);
  fields_->currentlyConnectingPeripherals[key] = peripheral;
  fields_->centralManager->connect(*peripheral);
  invalidateAndErase(fields_->connectionTimers, key);
  fields_->connectionTimers[key] =
      Timer::scheduled(kConnectionTimeout, false, [self = shared_from_this(), key](Timer&) { self->connectionTimeout(key); });
  managerLog("Connecting to device: " + key);
  return true;
}

void LumoBluetoothManager::connectionTimeout(const std::string& key) {
  auto it = fields_->currentlyConnectingPeripherals.find(key);
  if (it == fields_->currentlyConnectingPeripherals.end()) return;
  PeripheralPtr peripheral = it->second;
  managerLog("Connection timed out for peripheral: " + key);
  fields_->centralManager->cancelPeripheralConnection(*peripheral);
  cleanupConnection(peripheral, true);
  updateConnectionState(peripheral, LumoBluetoothConnectionState::disconnected);
  if (auto delegate = fields_->connectionTimeoutDelegate.lock()) delegate->onConnectionTimeout(peripheral);
}

void LumoBluetoothManager::connected(const PeripheralPtr& peripheral) {
  std::string key = peripheralKey(peripheral);
  managerLog("Connected to peripheral: " + key);
  invalidateAndErase(fields_->connectionTimers, key);
  fields_->currentlyConnectingPeripherals.erase(key);
  fields_->connectedPeripherals[key] = peripheral;
  updateConnectionState(peripheral, LumoBluetoothConnectionState::connected);
  fields_->servicesCache[key] = {};
  peripheral->discoverServices();
  int mtu = static_cast<int>(peripheral->maximumWriteValueLength(platform::ble::WriteType::withoutResponse)) +
            kAttHeaderBytes;
  if (auto delegate = fields_->mtuChangedDelegate.lock()) delegate->onMtuChanged(peripheral, mtu, true);
}

void LumoBluetoothManager::failedToConnect(const PeripheralPtr& peripheral,
                                           const std::optional<platform::ble::Error>& error) {
  managerLog("Failed to connect: " + errorText(error, "unknown"));
  cleanupConnection(peripheral, true);
  updateConnectionState(peripheral, LumoBluetoothConnectionState::disconnected);
}

void LumoBluetoothManager::disconnected(const PeripheralPtr& peripheral,
                                        const std::optional<platform::ble::Error>& error) {
  managerLog("Peripheral disconnected: " + errorText(error, "gracefully"));
  cleanupConnection(peripheral, true);
  updateConnectionState(peripheral, LumoBluetoothConnectionState::disconnected);
}

void LumoBluetoothManager::updateConnectionState(const PeripheralPtr& peripheral, LumoBluetoothConnectionState state) {
  fields_->deviceConnectionStates[peripheralKey(peripheral)] = state;
  if (auto delegate = fields_->connectionStateDelegate.lock()) delegate->onConnectionStateChange(peripheral, state);
}

void LumoBluetoothManager::cleanupConnection(const PeripheralPtr& peripheral, bool isFinal) {
  std::string key = peripheralKey(peripheral);
  invalidateAndErase(fields_->connectionTimers, key);
  fields_->connectedPeripherals.erase(key);
  fields_->currentlyConnectingPeripherals.erase(key);
  fields_->deviceConnectionStates.erase(key);
  fields_->servicesCache.erase(key);
  fields_->writeQueues.erase(key);
  invalidateAndErase(fields_->batchTimers, key);
  fields_->writeBuffer.erase(key);
  if (isFinal) fields_->knownPeripherals.erase(key);
  managerLog("Cleaned up resources for peripheral: " + key);
}

void LumoBluetoothManager::disconnect(const PeripheralPtr& peripheral) {
  std::string key = peripheralKey(peripheral);
  if (key.empty()) return;
  if (!fields_->connectedPeripherals.count(key) && !fields_->currentlyConnectingPeripherals.count(key)) return;
  updateConnectionState(peripheral, LumoBluetoothConnectionState::disconnecting);
  fields_->centralManager->cancelPeripheralConnection(*peripheral);
}

void LumoBluetoothManager::disconnectAll() {
  // Copies: cancelling and cleaning up change the maps being walked.
  auto connectedCopy = fields_->connectedPeripherals;
  auto connectingCopy = fields_->currentlyConnectingPeripherals;
  for (auto& [key, peripheral] : connectedCopy) fields_->centralManager->cancelPeripheralConnection(*peripheral);
  for (auto& [key, peripheral] : connectingCopy) fields_->centralManager->cancelPeripheralConnection(*peripheral);
  std::set<std::string> keys;
  for (auto& entry : connectedCopy) keys.insert(entry.first);
  for (auto& entry : connectingCopy) keys.insert(entry.first);
  for (const auto& key : keys) {
    auto known = fields_->knownPeripherals.find(key);
    if (known != fields_->knownPeripherals.end()) cleanupConnection(known->second, false);
  }
}

void LumoBluetoothManager::centralStateChanged() {
  auto state = fields_->centralManager->state();
  managerLog("Adapter state updated to: " + std::to_string(static_cast<int>(state)));
  if (state != ManagerState::poweredOn && fields_->isScanning) {
    // The platform stopped scanning with the adapter: end the scan and its timer as the
    // time-out would, or the next startScan is refused and the waiter never hears back.
    stopScan();
    if (auto delegate = fields_->scanTimeoutDelegate.lock()) delegate->onScanTimeout();
  }
  if (state != ManagerState::poweredOff) return;
  // Pending connections die with the adapter and no platform callback will tell of it.
  auto pending = fields_->currentlyConnectingPeripherals;
  disconnectAll();
  for (const auto& [key, peripheral] : pending) {
    updateConnectionState(peripheral, LumoBluetoothConnectionState::disconnected);
  }
}

void LumoBluetoothManager::discoverServices(const PeripheralPtr& peripheral) {
  if (peripheral && peripheral->state() == PeripheralState::connected) peripheral->discoverServices();
}

void LumoBluetoothManager::servicesFound(const PeripheralPtr& peripheral,
                                         const std::optional<platform::ble::Error>& error) {
  if (error) {
    managerLog("Error discovering services: " + error->localizedDescription);
    return;
  }
  if (!peripheral->services()) return;
  // A copy: the delegate may trigger a rediscovery that replaces the peripheral's list.
  auto services = *peripheral->services();
  std::string key = peripheralKey(peripheral);
  for (const auto& service : services) {
    auto cache = fields_->servicesCache.find(key);
    if (cache != fields_->servicesCache.end() && !cache->second.count(service->uuid())) {
      cache->second[service->uuid()] = {};
    }
    peripheral->discoverCharacteristics(*service);
  }
  if (auto delegate = fields_->servicesDiscoveredDelegate.lock()) delegate->onServicesDiscovered(peripheral, services);
}

void LumoBluetoothManager::characteristicsFound(const PeripheralPtr& peripheral, platform::ble::Service& service,
                                                const std::optional<platform::ble::Error>& error) {
  if (error) {
    managerLog("Error discovering characteristics: " + error->localizedDescription);
    return;
  }
  if (!service.characteristics()) return;
  auto characteristics = *service.characteristics();
  std::string key = peripheralKey(peripheral);
  for (const auto& characteristic : characteristics) {
    auto cache = fields_->servicesCache.find(key);
    if (cache != fields_->servicesCache.end()) {
      auto serviceEntry = cache->second.find(service.uuid());
      if (serviceEntry != cache->second.end()) serviceEntry->second[characteristic->uuid()] = characteristic;
    }
    // The manager subscribes to every notifying characteristic by itself.
    if (characteristic->hasProperty(platform::ble::property::notify)) peripheral->setNotifyValue(true, *characteristic);
  }
}

void LumoBluetoothManager::valueUpdated(const PeripheralPtr& peripheral, platform::ble::Characteristic& characteristic,
                                        const std::optional<platform::ble::Error>& error) {
  if (error) {
    managerLog("Error reading value: " + error->localizedDescription);
    return;
  }
  if (!characteristic.value()) return;
  // A copy: the delegate may cause the platform to replace the value while it runs.
  platform::Bytes value = *characteristic.value();
  if (auto delegate = fields_->dataReceivedDelegate.lock()) delegate->onDataReceived(peripheral, characteristic.uuid(), value);
}

void LumoBluetoothManager::notificationStateUpdated(const std::optional<platform::ble::Error>& error) {
  if (error) managerLog("Error changing notification state: " + error->localizedDescription);
}

std::shared_ptr<platform::ble::Characteristic> LumoBluetoothManager::cachedCharacteristic(
    const std::string& key, const Uuid& serviceUuid, const Uuid& characteristicUuid) const {
  auto cache = fields_->servicesCache.find(key);
  if (cache == fields_->servicesCache.end()) return nullptr;
  auto service = cache->second.find(serviceUuid);
  if (service == cache->second.end()) return nullptr;
  auto characteristic = service->second.find(characteristicUuid);
  return characteristic == service->second.end() ? nullptr : characteristic->second;
}

bool LumoBluetoothManager::readCharacteristic(const PeripheralPtr& peripheral, const Uuid& serviceUuid,
                                              const Uuid& characteristicUuid) {
  auto characteristic = peripheral && peripheral->state() == PeripheralState::connected
                            ? cachedCharacteristic(peripheralKey(peripheral), serviceUuid, characteristicUuid)
                            : nullptr;
  if (!characteristic) {
    managerLog("Cannot read, peripheral not connected or characteristic not found in cache.");
    return false;
  }
  peripheral->readValue(*characteristic);
  return true;
}

bool LumoBluetoothManager::setCharacteristicNotification(const PeripheralPtr& peripheral, const Uuid& serviceUuid,
                                                         const Uuid& characteristicUuid, bool enable) {
  auto characteristic = peripheral && peripheral->state() == PeripheralState::connected
                            ? cachedCharacteristic(peripheralKey(peripheral), serviceUuid, characteristicUuid)
                            : nullptr;
  if (!characteristic) {
    managerLog("Cannot set notification, peripheral not connected or characteristic not found in cache.");
    return false;
  }
  peripheral->setNotifyValue(enable, *characteristic);
  return true;
}

bool LumoBluetoothManager::isConnected(const PeripheralPtr& peripheral) const {
  return connectionState(peripheral) == LumoBluetoothConnectionState::connected;
}

std::optional<LumoBluetoothConnectionState> LumoBluetoothManager::connectionState(const PeripheralPtr& peripheral) const {
  auto it = fields_->deviceConnectionStates.find(peripheralKey(peripheral));
  if (it == fields_->deviceConnectionStates.end()) return std::nullopt;
  return it->second;
}

std::vector<std::shared_ptr<platform::ble::Service>> LumoBluetoothManager::getServices(const PeripheralPtr& peripheral) const {
  std::vector<std::shared_ptr<platform::ble::Service>> services;
  auto cache = fields_->servicesCache.find(peripheralKey(peripheral));
  if (cache == fields_->servicesCache.end()) return services;
  for (const auto& [uuid, characteristics] : cache->second) {
    if (characteristics.empty()) continue;
    if (auto service = characteristics.begin()->second->service()) services.push_back(service);
  }
  return services;
}

void LumoBluetoothManager::close() {
  stopScan();
  disconnectAll();
  if (instanceSlot().get() == this) instanceSlot().reset();
  managerLog("Manager closed and resources released.");
}

}  // namespace lumo
