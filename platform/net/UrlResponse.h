#pragma once

#include <string>

#include "platform/PlatformExport.h"

namespace platform::net {

// What came back from a transfer that completed at the HTTP level, whatever its status.
struct LUMO_PLATFORM_EXPORT UrlResponse {
  long statusCode = 0;
  std::string body;
};

}  // namespace platform::net
