#include "platform/net/UrlRequest.h"

#include <strings.h>

namespace platform::net {

namespace {
bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::strcasecmp(a.c_str(), b.c_str()) == 0;
}
}  // namespace

void UrlRequest::setHeader(const std::string& name, const std::string& value) {
  for (auto& entry : headers) {
    if (sameName(entry.first, name)) {
      entry.second = value;
      return;
    }
  }
  headers.emplace_back(name, value);
}

const std::string* UrlRequest::header(const std::string& name) const {
  for (const auto& entry : headers) {
    if (sameName(entry.first, name)) return &entry.second;
  }
  return nullptr;
}

}  // namespace platform::net
