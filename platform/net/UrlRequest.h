#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Clock.h"
#include "platform/net/Url.h"

namespace platform::net {

// One HTTP request as the URL session sends it (URLRequest's stand-in).
struct LUMO_PLATFORM_EXPORT UrlRequest {
  explicit UrlRequest(Url target) : url(std::move(target)) {}

  // Replaces an earlier value of the same header (names compare case-insensitively).
  void setHeader(const std::string& name, const std::string& value);
  const std::string* header(const std::string& name) const;

  Url url;
  std::string method = "GET";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Whole-transfer limit, connection set-up included; zero: none.
  dispatch::Seconds timeout{60.0};
  // Limit on setting up the connection (TCP and TLS); zero: the HTTP stack's default.
  dispatch::Seconds connectTimeout{0};
  // Ends a transfer that moved no byte in either direction for this long (whole seconds,
  // rounded up); zero: none. Unlike `timeout` it lets a large body over a slow link finish.
  dispatch::Seconds idleTimeout{0};
  // With idleTimeout: the transfer also ends when it moved fewer than this many bytes a
  // second over that long, so a server cannot hold it open by sending a byte now and then.
  long minimumBytesPerSecond = 1;
  // A response body longer than this ends the transfer (UrlError::dataLengthExceedsMaximum)
  // as soon as it is announced or read that far, so a hostile server cannot fill the memory.
  std::size_t maximumResponseBytes = kDefaultMaximumResponseBytes;

  static constexpr std::size_t kDefaultMaximumResponseBytes = 1 << 20;
};

}  // namespace platform::net
