#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ble/Characteristic.h"
#include "platform/ble/Uuid.h"

namespace platform::ble {

class Peripheral;

// CBService: a discovered service. Its characteristic list is absent until characteristic
// discovery for it finished; back-ends fill it in.
class LUMO_PLATFORM_EXPORT Service {
 public:
  Service(Uuid uuid, std::weak_ptr<Peripheral> peripheral) : uuid_(uuid), peripheral_(std::move(peripheral)) {}

  const Uuid& uuid() const { return uuid_; }
  std::shared_ptr<Peripheral> peripheral() const { return peripheral_.lock(); }
  const std::optional<std::vector<std::shared_ptr<Characteristic>>>& characteristics() const {
    return characteristics_;
  }
  void setCharacteristics(std::vector<std::shared_ptr<Characteristic>> characteristics) {
    characteristics_ = std::move(characteristics);
  }

 private:
  Uuid uuid_;
  std::weak_ptr<Peripheral> peripheral_;
  std::optional<std::vector<std::shared_ptr<Characteristic>>> characteristics_;
};

}  // namespace platform::ble
