#pragma once

#include <string>

namespace platform::net {

// What came back from a transfer that completed at the HTTP level, whatever its status.
struct UrlResponse {
  long statusCode = 0;
  std::string body;
};

}  // namespace platform::net
