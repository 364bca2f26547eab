#include "lumosdk/utils/NetworkUtil.h"

#include <atomic>
#include <mutex>

#include "lumosdk/utils/JsonNesting.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/DeviceInfo.h"
#include "platform/net/UrlSession.h"

namespace lumo {

namespace {

constexpr const char* kUnknown = "未知";
constexpr const char* kBuildFailed = "请求构建失败";
constexpr const char* kParseFailed = "数据解析失败";
constexpr const char* kAuthExpired = "授权已过期";
constexpr const char* kDefaultLoadingText = "加载中...";
constexpr int kAuthExpiredCode = 1001;

struct State {
  std::mutex mutex;
  std::optional<NetworkUtil::DeviceHeaders> deviceInfoCache;
  RsaCryptoUtils::Key privateKey;
  std::function<std::string()> tokenSource;
  std::function<void()> authExpireHandler;
  std::function<void(const std::string&)> showLoading;
  std::function<void()> dismissLoading;
  std::atomic<double> timeLimitSeconds{NetworkUtil::kTimeoutSeconds};
};

State& state() {
  static State* instance = new State;  // never destroyed: completions may run during exit
  return *instance;
}

std::string currentToken() {
  std::function<std::string()> source;
  {
    std::lock_guard lock(state().mutex);
    source = state().tokenSource;
  }
  return source ? source() : std::string();
}

void reportAuthExpired() {
  std::function<void()> handler;
  {
    std::lock_guard lock(state().mutex);
    handler = state().authExpireHandler;
  }
  if (handler) handler();
}

void showOverlay(const std::string& message) {
  std::function<void(const std::string&)> show;
  {
    std::lock_guard lock(state().mutex);
    show = state().showLoading;
  }
  if (show) show(message);
}

void dismissOverlay() {
  std::function<void()> dismiss;
  {
    std::lock_guard lock(state().mutex);
    dismiss = state().dismissLoading;
  }
  if (dismiss) dismiss();
}

// Header values end at a line break: a device name must not be able to add headers.
std::string headerSafe(std::string value) {
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return value;
}

// Adds the stored token unless the caller put its own under "accessToken".
bool addAccessToken(nlohmann::json& params) {
  if (params.is_null()) params = nlohmann::json::object();
  if (!params.is_object()) return false;
  if (!params.contains("accessToken")) params["accessToken"] = currentToken();
  return true;
}

std::optional<nlohmann::json> parseObject(const std::string& text) {
  if (JsonNesting::exceeds(text)) return std::nullopt;
  nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
  return parsed;
}

// The result of a completed transfer before the envelope rules: a transport error or a body
// that is no JSON object is a failure here.
std::optional<nlohmann::json> evaluateTransfer(const std::optional<platform::net::UrlResponse>& response,
                                               const std::optional<platform::net::UrlError>& error,
                                               const NetworkUtil::Callback& callback) {
  if (error || !response) {
    callback(NetworkUtil::Result::failure(
        NetworkError::message(error ? error->localizedDescription : std::string("发生了未知错误。"))));
    return std::nullopt;
  }
  auto envelope = parseObject(response->body);
  if (!envelope) callback(NetworkUtil::Result::failure(NetworkError::message(kParseFailed)));
  return envelope;
}

// Code-0 envelopes whose "data" is {"str": <ciphertext>} get the decrypted object as "data";
// any failure on the way leaves the envelope as received.
nlohmann::json decryptedEnvelope(const nlohmann::json& json) {
  auto data = json.find("data");
  if (data == json.end() || !data->is_object()) return json;
  auto sealed = data->find("str");
  if (sealed == data->end() || !sealed->is_string()) return json;
  RsaCryptoUtils::Key key = NetworkUtil::privateKey();
  if (!key) return json;
  auto plaintext = RsaCryptoUtils::decrypt(sealed->get<std::string>(), key);
  if (!plaintext) return json;
  auto opened = parseObject(*plaintext);
  RsaCryptoUtils::wipe(*plaintext);
  if (!opened) return json;
  nlohmann::json changed = json;
  changed["data"] = std::move(*opened);
  return changed;
}

void applyEnvelopeRules(const nlohmann::json& json, const NetworkUtil::Callback& callback, bool background) {
  auto code = json.find("code");
  if (code == json.end() || !code->is_number_integer()) {
    callback(NetworkUtil::Result::success(json));
    return;
  }
  if (*code == kAuthExpiredCode) {
    reportAuthExpired();
    // The log uploader sees the envelope itself and counts it as a rejected upload.
    callback(background ? NetworkUtil::Result::success(json)
                        : NetworkUtil::Result::failure(NetworkError::message(kAuthExpired)));
    return;
  }
  if (*code == 0) {
    callback(NetworkUtil::Result::success(decryptedEnvelope(json)));
    return;
  }
  callback(NetworkUtil::Result::success(json));
}

// A background upload may be large and the link slow, so it has no fixed 30 s limit; but a
// server that drips its answer must not hold it (and every later round) for ever. It must
// move at least 1 KiB/s, judged over the idle window (30 s), and it ends in any case after
// twice that window plus one second per KiB of body, so that the largest batch still goes at
// the minimum speed (10,000 records of some 250 bytes, 2.5 MB: about 42 minutes).
void limitBackgroundTransfer(platform::net::UrlRequest& request) {
  constexpr long kMinimumBytesPerSecond = 1024;
  const double window = state().timeLimitSeconds.load();
  request.minimumBytesPerSecond = kMinimumBytesPerSecond;
  request.timeout = platform::dispatch::Seconds(2 * window + static_cast<double>(request.body.size()) /
                                                                  static_cast<double>(kMinimumBytesPerSecond));
}

}  // namespace

NetworkUtil::Result NetworkUtil::Result::success(nlohmann::json envelope) {
  Result result;
  result.envelope_ = std::move(envelope);
  return result;
}

NetworkUtil::Result NetworkUtil::Result::failure(NetworkError error) {
  Result result;
  result.error_ = std::move(error);
  return result;
}

void NetworkUtil::post(std::shared_ptr<platform::ui::ViewController> /*context*/, const std::string& url,
                       nlohmann::json params, bool showLoading, std::optional<std::string> loadingText,
                       Callback callback) {
  if (showLoading) showOverlay(loadingText.value_or(kDefaultLoadingText));
  std::optional<platform::net::UrlRequest> request;
  if (addAccessToken(params)) request = makeRequest(url, "POST", &params);
  // A foreground request holds the user behind the loading overlay: it also ends after 30 s.
  if (request) request->timeout = platform::dispatch::Seconds(state().timeLimitSeconds.load());
  if (!request) {
    if (showLoading) dismissOverlay();
    if (callback) callback(Result::failure(NetworkError::message(kBuildFailed)));
    return;
  }
  platform::net::UrlSession::shared().dataTask(
      std::move(*request), [showLoading, callback = std::move(callback)](
                               std::optional<platform::net::UrlResponse> response,
                               std::optional<platform::net::UrlError> error) {
        platform::dispatch::DispatchQueue::main()->async([showLoading, callback, response = std::move(response),
                                                          error = std::move(error)] {
          if (showLoading) dismissOverlay();
          if (!callback) return;
          if (auto envelope = evaluateTransfer(response, error, callback)) handleResponse(*envelope, callback);
        });
      });
}

void NetworkUtil::postBackground(const std::string& url, nlohmann::json params, Callback callback,
                                 const DeviceHeaders& extraHeaders) {
  std::optional<platform::net::UrlRequest> request;
  if (addAccessToken(params)) request = makeRequest(url, "POST", &params);
  if (request) {
    for (const auto& [name, value] : extraHeaders) request->setHeader(name, value);
    limitBackgroundTransfer(*request);
  }
  if (!request) {
    if (callback) callback(Result::failure(NetworkError::message(kBuildFailed)));
    return;
  }
  platform::net::UrlSession::shared().dataTask(
      std::move(*request), [callback = std::move(callback)](std::optional<platform::net::UrlResponse> response,
                                                            std::optional<platform::net::UrlError> error) {
        if (!callback) return;
        if (auto envelope = evaluateTransfer(response, error, callback)) {
          handleBackgroundResponse(*envelope, callback);
        }
      });
}

std::optional<platform::net::UrlRequest> NetworkUtil::makeRequest(const std::string& url, const std::string& method,
                                                                  const nlohmann::json* params) {
  auto parsed = platform::net::Url::parse(url);
  if (!parsed) return std::nullopt;
  platform::net::UrlRequest request(std::move(*parsed));
  request.method = method;
  if (params != nullptr) {
    // Bytes that are not UTF-8 (a device name, a key, a stored log row) become U+FFFD: one
    // bad string must not empty the whole body.
    request.body = params->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    request.setHeader("Content-Type", "application/json");
  }
  for (const auto& [name, value] : getDeviceInfo()) request.setHeader(name, value);
  // Set-up and silence are limited, not the whole transfer: a large log batch over a slow
  // uplink must be able to finish.
  request.timeout = platform::dispatch::Seconds(0);
  auto limit = platform::dispatch::Seconds(state().timeLimitSeconds.load());
  request.connectTimeout = limit;
  request.idleTimeout = limit;
  return request;
}

NetworkUtil::DeviceHeaders NetworkUtil::getDeviceInfo() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  if (s.deviceInfoCache) return *s.deviceInfoCache;
  const auto& device = platform::foundation::DeviceInfo::current();
  auto& bundle = platform::foundation::BundleInfo::main();
  DeviceHeaders headers = {
      {"device-model", headerSafe(device.model())},
      {"device-name", headerSafe(device.name())},
      {"system-name", headerSafe(device.systemName())},
      {"system-version", headerSafe(device.systemVersion())},
      {"app-version", headerSafe(bundle.shortVersion().value_or(kUnknown))},
      {"app-build", headerSafe(bundle.buildVersion().value_or(kUnknown))},
      {"device-id", headerSafe(device.identifierForVendor().value_or(kUnknown))},
  };
  s.deviceInfoCache = headers;
  return headers;
}

void NetworkUtil::handleResponse(const nlohmann::json& json, const Callback& callback) {
  applyEnvelopeRules(json, callback, false);
}

void NetworkUtil::handleBackgroundResponse(const nlohmann::json& json, const Callback& callback) {
  applyEnvelopeRules(json, callback, true);
}

void NetworkUtil::setPrivateKey(RsaCryptoUtils::Key key) {
  std::lock_guard lock(state().mutex);
  state().privateKey = std::move(key);
}

RsaCryptoUtils::Key NetworkUtil::privateKey() {
  std::lock_guard lock(state().mutex);
  return state().privateKey;
}

void NetworkUtil::setAccessTokenSource(std::function<std::string()> source) {
  std::lock_guard lock(state().mutex);
  state().tokenSource = std::move(source);
}

void NetworkUtil::setAuthExpireHandler(std::function<void()> handler) {
  std::lock_guard lock(state().mutex);
  state().authExpireHandler = std::move(handler);
}

void NetworkUtil::setLoadingOverlay(std::function<void(const std::string&)> show, std::function<void()> dismiss) {
  std::lock_guard lock(state().mutex);
  state().showLoading = std::move(show);
  state().dismissLoading = std::move(dismiss);
}

void NetworkUtil::resetForTesting() {
  std::lock_guard lock(state().mutex);
  State& s = state();
  s.deviceInfoCache.reset();
  s.privateKey = {};
  s.tokenSource = nullptr;
  s.authExpireHandler = nullptr;
  s.showLoading = nullptr;
  s.dismissLoading = nullptr;
  s.timeLimitSeconds = kTimeoutSeconds;
}

void NetworkUtil::setTimeLimitForTesting(double seconds) { state().timeLimitSeconds = seconds; }

}  // namespace lumo
