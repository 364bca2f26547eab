// The manager's write path: writes with response go straight out; writes without response
// are coalesced per peripheral for 10 ms, split to the link's maximum write length and handed
// to the platform only while it can take them.

#include <algorithm>

#include "lumosdk/utils/LumoBluetoothManager.h"
#include "lumosdk/utils/LumoBluetoothManagerFields.h"

namespace lumo {

using platform::Bytes;
using platform::ble::PeripheralState;
using platform::ble::Uuid;
using platform::ble::WriteType;
using platform::dispatch::Seconds;
using platform::dispatch::Timer;

namespace {

// Bounded at acceptance: with this many pieces waiting, a new write is refused.
constexpr std::size_t kWriteQueueLimit = 10;
constexpr Seconds kBatchWindow{0.01};

// Consecutive slices of at most `size` bytes; the last one holds the remainder.
std::vector<Bytes> chunked(const Bytes& data, std::size_t size) {
  std::vector<Bytes> pieces;
  for (std::size_t offset = 0; offset < data.size(); offset += size) {
    auto end = data.begin() + static_cast<std::ptrdiff_t>(std::min(offset + size, data.size()));
    pieces.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(offset), end);
  }
  return pieces;
}

}  // namespace

bool LumoBluetoothManager::writeCharacteristic(const PeripheralPtr& peripheral, const Uuid& serviceUuid,
                                               const Uuid& characteristicUuid, const Bytes& value,
                                               bool withoutResponse) {
  if (!peripheral || peripheral->state() != PeripheralState::connected) {
    managerLog("Cannot write, peripheral not connected.");
    return false;
  }
  std::string key = peripheralKey(peripheral);
  auto characteristic = cachedCharacteristic(key, serviceUuid, characteristicUuid);
  if (!characteristic) {
    managerLog("Characteristic " + characteristicUuid.uuidString() + " not found in cache.");
    return false;
  }
  if (!withoutResponse) {
    peripheral->writeValue(value, *characteristic, WriteType::withResponse);
    return true;
  }
  auto queue = fields_->writeQueues.find(key);
  if (queue != fields_->writeQueues.end() && queue->second.size() >= kWriteQueueLimit) {
    managerLog("Write queue is full. Throttling write request.");
    return false;
  }
  Bytes& buffer = fields_->writeBuffer[key];
  buffer.insert(buffer.end(), value.begin(), value.end());
  // Bytes added inside an open batch ride with it, to the characteristic that opened it.
  if (fields_->batchTimers.count(key)) return true;
  fields_->batchTimers[key] = Timer::scheduled(
      kBatchWindow, false, [self = shared_from_this(), key, characteristic](Timer&) {
        self->flushWriteBuffer(key, characteristic);
      });
  return true;
}

void LumoBluetoothManager::flushWriteBuffer(const std::string& key,
                                            const std::shared_ptr<platform::ble::Characteristic>& characteristic) {
  auto peripheral = fields_->connectedPeripherals.find(key);
  auto buffer = fields_->writeBuffer.find(key);
  if (peripheral != fields_->connectedPeripherals.end() && buffer != fields_->writeBuffer.end() &&
      !buffer->second.empty() && characteristic) {
    PeripheralPtr target = peripheral->second;
    Bytes data = std::move(buffer->second);
    fields_->batchTimers.erase(key);
    fields_->writeBuffer.erase(buffer);
    enqueueWriteRequest(data, characteristic, target);
    return;
  }
  // The timer has fired; only its entry needs to go. Bytes still buffered leave with the next batch.
  fields_->batchTimers.erase(key);
}

void LumoBluetoothManager::enqueueWriteRequest(const Bytes& data,
                                               const std::shared_ptr<platform::ble::Characteristic>& characteristic,
                                               const PeripheralPtr& peripheral) {
  std::size_t maximum = peripheral->maximumWriteValueLength(WriteType::withoutResponse);
  // A live link never reports zero; if one does, nothing can go out, so the batch is dropped
  // instead of being split into pieces of no size.
  if (maximum == 0) {
    managerLog("Maximum write length is 0, dropping " + std::to_string(data.size()) + " bytes.");
    return;
  }
  std::vector<Bytes> pieces = data.size() > maximum ? chunked(data, maximum) : std::vector<Bytes>{data};
  if (pieces.size() >= 2) managerLog("Data split into " + std::to_string(pieces.size()) + " chunks for MTU.");
  auto& queue = fields_->writeQueues[peripheralKey(peripheral)];
  for (auto& piece : pieces) queue.push_back(WriteRequest{std::move(piece), characteristic});
  processWriteQueue(peripheral);
}

void LumoBluetoothManager::processWriteQueue(const PeripheralPtr& peripheral) {
  if (!peripheral->canSendWriteWithoutResponse()) return;
  std::string key = peripheralKey(peripheral);
  while (true) {
    auto queue = fields_->writeQueues.find(key);
    if (queue == fields_->writeQueues.end() || queue->second.empty()) return;
    WriteRequest request = std::move(queue->second.front());
    queue->second.pop_front();
    peripheral->writeValue(request.data, *request.characteristic, WriteType::withoutResponse);
    if (!peripheral->canSendWriteWithoutResponse()) return;
  }
}

void LumoBluetoothManager::readyToSend(const PeripheralPtr& peripheral) { processWriteQueue(peripheral); }

void LumoBluetoothManager::writeFinished(const std::optional<platform::ble::Error>& error) {
  if (error) managerLog("Error writing withResponse: " + error->localizedDescription);
}

}  // namespace lumo
