#pragma once

#include <optional>
#include <string>

#include "lumosdk/LumoExport.h"

namespace lumo {

/// Which backend the SDK talks to. Raw values are part of the host interface.
enum class LumoEnvironment : int { development = 0, production = 1 };

/// The environment for a raw value, or nothing outside 0 and 1.
LUMO_EXPORT std::optional<LumoEnvironment> lumoEnvironmentFromRaw(int raw);

/// The environment's HTTPS origin without a trailing slash; endpoint paths are appended to it.
/// Development means the backend simulator on loopback unless the host named another
/// (LumoSdk::setDevelopmentBackend).
LUMO_EXPORT std::string lumoBaseUrl(LumoEnvironment environment);

}  // namespace lumo
