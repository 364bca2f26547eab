#include "platform/ble/CentralManager.h"

namespace platform::ble {

CentralManager::CentralManager(std::shared_ptr<CentralBackend> backend, CentralManagerOptions options)
    : backend_(std::move(backend)), options_(options) {}

}  // namespace platform::ble
