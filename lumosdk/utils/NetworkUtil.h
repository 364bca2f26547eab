#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "lumosdk/utils/NetworkError.h"
#include "lumosdk/utils/RsaCryptoUtils.h"
#include "platform/net/UrlRequest.h"

namespace platform::ui {
class ViewController;
}

namespace lumo {

// The SDK's only HTTP client. Every call POSTs a JSON object (with "accessToken" added when
// absent) and the seven device headers to a backend endpoint; every answer is the backend's
// envelope {"code", "msg", "data"}, whose "data" may arrive encrypted for this phone.
// Foreground requests (post) answer on the main thread; background ones (postBackground, the
// log uploader) on the URL session's completion thread.
class NetworkUtil {
 public:
  NetworkUtil() = delete;

  // Either success with the whole envelope or failure with a NetworkError.
  class Result {
   public:
    static Result success(nlohmann::json envelope);
    static Result failure(NetworkError error);
    bool isSuccess() const { return !error_.has_value(); }
    // The envelope of a success; null for a failure.
    const nlohmann::json& envelope() const { return envelope_; }
    const std::optional<NetworkError>& error() const { return error_; }

   private:
    nlohmann::json envelope_;
    std::optional<NetworkError> error_;
  };

  using Callback = std::function<void(const Result& result)>;
  using DeviceHeaders = std::map<std::string, std::string>;

  static constexpr double kTimeoutSeconds = 30.0;

  // Call on the main thread; returns at once. The callback runs on the main thread, except
  // for a request that cannot be built: that failure arrives synchronously on this thread.
  // `context` is the presenting page of the loading overlay.
  static void post(std::shared_ptr<platform::ui::ViewController> context, const std::string& url,
                   nlohmann::json params, bool showLoading, std::optional<std::string> loadingText,
                   Callback callback);
  // Any thread; no overlay; the callback runs on the URL session's completion thread.
  // `extraHeaders` go with the device headers (the log uploader's idempotency key).
  static void postBackground(const std::string& url, nlohmann::json params, Callback callback,
                             const DeviceHeaders& extraHeaders = {});

  // The key that opens encrypted "data"; set at registration.
  static void setPrivateKey(RsaCryptoUtils::Key key);
  static RsaCryptoUtils::Key privateKey();

  // Where the client reads the user's token and reports an expired authorisation. The SDK
  // facade installs both; they may be called from any thread.
  static void setAccessTokenSource(std::function<std::string()> source);
  static void setAuthExpireHandler(std::function<void()> handler);
  // The loading overlay's show and dismiss, called on the main thread (the UI layer installs
  // them; without them no overlay is shown).
  static void setLoadingOverlay(std::function<void(const std::string& message)> show,
                                std::function<void()> dismiss);

  // Builds the request, or nothing when `url` is not a valid URL.
  static std::optional<platform::net::UrlRequest> makeRequest(const std::string& url, const std::string& method,
                                                              const nlohmann::json* params);
  // The device headers, built once per process.
  static DeviceHeaders getDeviceInfo();
  // The envelope rules for foreground and background answers.
  static void handleResponse(const nlohmann::json& json, const Callback& callback);
  static void handleBackgroundResponse(const nlohmann::json& json, const Callback& callback);

  static void resetForTesting();
  // Replaces kTimeoutSeconds for later requests, so that a test's backend slower than the
  // limits fails in a second of real time instead of thirty.
  static void setTimeLimitForTesting(double seconds);
};

}  // namespace lumo
