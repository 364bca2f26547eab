#include "lumosdk/LumoSdk.h"

#include <charconv>
#include <cstdint>
#include <mutex>

#include "lumosdk/LumoInitCallbackImpl.h"
#include "lumosdk/utils/BluetoothAlertFlow.h"
#include "lumosdk/utils/LoadingUtil.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/ConsoleLog.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace lumo {

// The development backend's record lives beside the base URLs it decides (LumoEnvironment.cpp).
void resetDevelopmentBackendForTesting();

namespace {

// An answer goes to the system log as its first 512 bytes and its length: enough to see
// what came back, never a whole body a server chose to make large.
std::string envelopeForLog(const nlohmann::json& envelope) {
  constexpr std::size_t kLoggedBytes = 512;
  std::string text = envelope.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (text.size() <= kLoggedBytes) return text;
  std::size_t cut = kLoggedBytes;
  // Never split a UTF-8 sequence: back up over continuation bytes.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "... (" + std::to_string(text.size()) + " bytes)";
}

constexpr const char* kTag = "lumosdk";
constexpr const char* kNotInitialized = "lumosdk 没有被初始化，请先调用 lumosdk.initSdk()";

struct ClassState {
  bool isInitialized = false;
  std::string token;
  std::string appKey;
  bool debugMode = true;
  LumoEnvironment currentEnvironment = LumoEnvironment::production;
  bool landspace = false;
  std::shared_ptr<LumoSdk::InitCallback> callbackHandler;
  std::optional<RsaCryptoUtils::KeyPair> keyPair;
  // Which registration is current: each initSdk that registers and each deInit moves it on,
  // so an answer to an earlier one is ignored.
  std::uint64_t registration = 0;
};

std::mutex& stateMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

ClassState& state() {
  static ClassState* instance = new ClassState;  // read by background completions during exit
  return *instance;
}

template <typename T>
T read(T ClassState::*field) {
  std::lock_guard lock(stateMutex());
  return state().*field;
}

template <typename T>
void write(T ClassState::*field, T value) {
  std::lock_guard lock(stateMutex());
  state().*field = std::move(value);
}

// Milliseconds since 1970 in the shortest decimal form that reads back to the same double,
// never in exponent form, always with a fractional part ("1767225600000.0").
std::string timestampText(double millis) {
  char buffer[64];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, millis, std::chars_format::fixed);
  std::string text = error == std::errc() ? std::string(buffer, end) : std::to_string(millis);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

// The SDK's parts meet here: the backend client reads the facade's state at the moment of
// use and shows the loading overlay; the vehicle link explains an unusable adapter in alerts.
void connectSdkParts() {
  NetworkUtil::setAccessTokenSource([] { return LumoSdk::token(); });
  NetworkUtil::setAuthExpireHandler([] {
    if (auto handler = LumoSdk::shared().callbackHandler()) handler->onAuthExpire();
  });
  LoadingUtil::installAsNetworkOverlay();
  BluetoothAlertFlow::install();
}

std::shared_ptr<platform::ui::ViewController> firstWindowRoot() {
  auto windows = platform::ui::Application::shared().windows();
  if (windows.empty() || !windows.front()) return nullptr;
  return windows.front()->rootViewController();
}

bool isCurrentRegistration(std::uint64_t registration) { return read(&ClassState::registration) == registration; }

void finishRegistration(const NetworkUtil::Result& result, const std::shared_ptr<LumoSdk::InitCallback>& adapter,
                        std::uint64_t registration) {
  if (!isCurrentRegistration(registration)) {
    // Its key is gone: the data could not even be read, and the host has moved on.
    platform::foundation::SystemLog::info("LumoSdk: ignoring the answer to an earlier registration");
    return;
  }
  if (result.isSuccess()) {
    const nlohmann::json& envelope = result.envelope();
    platform::foundation::SystemLog::info(envelopeForLog(envelope));
    auto code = envelope.find("code");
    auto data = envelope.find("data");
    if (code != envelope.end() && code->is_number_integer() && *code == 0 && data != envelope.end() &&
        data->is_object()) {
      LogUtil::setUserInfo(*data);
    }
    LumoSdk::setIsInitialized(true);
    LogUtil::i(std::string("LumoSdk初始化成功，版本: ") + LumoSdk::lumo_version, kTag);
    adapter->onSuccess();
    return;
  }
  const std::string& description = result.error()->description();
  LogUtil::e("LumoSdk初始化失败: " + description, kTag);
  if (description.find("token") != std::string::npos || description.find("auth") != std::string::npos) {
    adapter->onAuthExpire();
  } else {
    adapter->onError(description);
  }
}

}  // namespace

LumoSdk& LumoSdk::shared() {
  static LumoSdk* instance = new LumoSdk;  // thread-safe first access; never destroyed
  return *instance;
}

bool LumoSdk::isInitialized() { return read(&ClassState::isInitialized); }
void LumoSdk::setIsInitialized(bool value) { write(&ClassState::isInitialized, value); }
std::string LumoSdk::token() { return read(&ClassState::token); }
void LumoSdk::setToken(std::string value) {
  std::lock_guard lock(stateMutex());
  // The replaced token's bytes are wiped, not left in freed memory.
  RsaCryptoUtils::wipe(state().token);
  state().token = std::move(value);
}
std::string LumoSdk::appKey() { return read(&ClassState::appKey); }
void LumoSdk::setAppKey(std::string value) { write(&ClassState::appKey, std::move(value)); }
bool LumoSdk::debugMode() { return read(&ClassState::debugMode); }
void LumoSdk::setDebugMode(bool value) { write(&ClassState::debugMode, value); }
LumoEnvironment LumoSdk::currentEnvironment() { return read(&ClassState::currentEnvironment); }
void LumoSdk::setCurrentEnvironment(LumoEnvironment value) { write(&ClassState::currentEnvironment, value); }
bool LumoSdk::landspace() { return read(&ClassState::landspace); }
void LumoSdk::setLandspace(bool value) { write(&ClassState::landspace, value); }

std::shared_ptr<LumoSdk::InitCallback> LumoSdk::callbackHandler() const { return read(&ClassState::callbackHandler); }
std::optional<RsaCryptoUtils::KeyPair> LumoSdk::keyPair() const { return read(&ClassState::keyPair); }

void LumoSdk::initSdk(const std::string& appKey, const std::string& userToken, LumoEnvironment environment,
                      bool debug, std::function<void()> onSuccess, std::function<void()> onAuthExpire,
                      std::function<void(const std::string&)> onError) {
  if (isInitialized()) {
    if (onSuccess) onSuccess();
    return;
  }
  if (appKey.empty() || userToken.empty() || !lumoEnvironmentFromRaw(static_cast<int>(environment))) {
    const char* reason = appKey.empty() ? "appKey未设置" : userToken.empty() ? "token未设置" : "environment无效";
    if (onError) onError(reason);
    return;
  }
  std::uint64_t registration = 0;
  {
    std::lock_guard lock(stateMutex());
    state().appKey = appKey;
    RsaCryptoUtils::wipe(state().token);
    state().token = userToken;
    state().currentEnvironment = environment;
    state().debugMode = debug;
    registration = ++state().registration;
  }
  connectSdkParts();
  std::string baseUrl = lumoBaseUrl(environment);
  LogUtil::initialize(baseUrl + "/app_log/save");
  // A retry with another environment: the logger may already run, and its uploads follow.
  LogUtil::setServerUrl(baseUrl + "/app_log/save");

  auto adapter = std::make_shared<LumoInitCallbackImpl>(std::move(onSuccess), std::move(onAuthExpire),
                                                        std::move(onError));
  write(&ClassState::callbackHandler, std::shared_ptr<InitCallback>(adapter));

  auto pair = RsaCryptoUtils::generateKeyPair();
  if (!pair) {
    adapter->onError("RSA密钥生成失败");
    return;
  }
  write(&ClassState::keyPair, std::optional<RsaCryptoUtils::KeyPair>(*pair));
  NetworkUtil::setPrivateKey(pair->privateKey);

  std::string ts = timestampText(platform::dispatch::Scheduler::clock().wallMillis());
  std::string bundleId = platform::foundation::BundleInfo::main().identifier();
  nlohmann::json body = {
      {"app_key", appKey},
      {"ts", ts},
      {"sign", RsaCryptoUtils::md5(bundleId + "==" + ts).value_or("")},
      {"k", RsaCryptoUtils::getX509SPKIPublicKey(pair->publicKey).value_or("")},
  };
  NetworkUtil::post(firstWindowRoot(), baseUrl + "/oper_sdk/init", std::move(body), true, "正在初始化",
                    [adapter, registration](const NetworkUtil::Result& result) {
                      platform::dispatch::DispatchQueue::main()->async([adapter, result, registration] {
                        finishRegistration(result, adapter, registration);
                      });
                    });
}

void LumoSdk::updateAccessToken(const std::string& newToken) {
  if (!checkInitialized()) return;
  if (newToken.empty()) return;
  setToken(newToken);
  LogUtil::i("AccessToken已更新", kTag);
}

std::string LumoSdk::getSdkConfig() {
  if (!checkInitialized()) return {};
  return std::string("当前 SDK 版本: ") + lumo_version;
}

LumoEnvironment LumoSdk::getCurrentEnvironment() { return currentEnvironment(); }

bool LumoSdk::isInitializedFunc() { return isInitialized(); }

bool LumoSdk::checkInitialized() {
  if (isInitialized()) return true;
  // The logger may not run yet (it starts in initSdk), so the refusal is also printed.
  platform::foundation::ConsoleLog::write(std::string("LUMOSDK: ") + kNotInitialized);
  LogUtil::e(kNotInitialized, kTag);
  return false;
}

void LumoSdk::deInit() {
  {
    std::lock_guard lock(stateMutex());
    state().debugMode = true;
    state().isInitialized = false;
    RsaCryptoUtils::wipe(state().token);
    state().keyPair.reset();
    ++state().registration;
  }
  // The backend client held the last other reference to the private key.
  NetworkUtil::setPrivateKey({});
  LogUtil::flushAndClose();
}

void LumoSdk::resetForTesting() {
  std::lock_guard lock(stateMutex());
  state() = ClassState{};
  resetDevelopmentBackendForTesting();
}

}  // namespace lumo
