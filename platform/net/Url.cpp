#include "platform/net/Url.h"

#include <curl/curl.h>

#include <memory>

namespace platform::net {

namespace {

struct UrlHandleDeleter {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

std::optional<std::string> part(CURLU* handle, CURLUPart which) {
  char* value = nullptr;
  if (curl_url_get(handle, which, &value, 0) != CURLUE_OK || value == nullptr) return std::nullopt;
  std::string text(value);
  curl_free(value);
  return text;
}

}  // namespace

std::optional<Url> Url::parse(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::unique_ptr<CURLU, UrlHandleDeleter> handle(curl_url());
  if (!handle) return std::nullopt;
  // No scheme guessing: "example.com/x" is not a URL a request may be sent to.
  if (curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return std::nullopt;
  auto scheme = part(handle.get(), CURLUPART_SCHEME);
  auto host = part(handle.get(), CURLUPART_HOST);
  if (!scheme || !host || host->empty()) return std::nullopt;
  Url url;
  url.text_ = text;
  url.scheme_ = *scheme;
  url.host_ = *host;
  return url;
}

}  // namespace platform::net
