#pragma once

#include <optional>
#include <string>

#include "platform/PlatformExport.h"

namespace platform::net {

// An absolute URL that parsed cleanly (scheme and host present, no spaces). Requests are
// built only from a Url, so text that cannot be a URL is refused before any transfer starts.
class LUMO_PLATFORM_EXPORT Url {
 public:
  static std::optional<Url> parse(const std::string& text);

  const std::string& text() const { return text_; }
  const std::string& scheme() const { return scheme_; }
  const std::string& host() const { return host_; }

 private:
  Url() = default;
  std::string text_;
  std::string scheme_;
  std::string host_;
};

}  // namespace platform::net
