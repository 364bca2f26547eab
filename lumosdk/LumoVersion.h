#pragma once

#include "lumosdk/LumoExport.h"

namespace lumo {

/// The SDK's version; the shared library's SOVERSION follows it.
LUMO_EXPORT const char* lumoVersion();

}  // namespace lumo
