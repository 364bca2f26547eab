#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lumosdk/LumoEnvironment.h"
#include "lumosdk/LumoExport.h"
#include "lumosdk/utils/RsaCryptoUtils.h"

namespace lumo {

/// The SDK's public entry. A host calls it on its main thread to initialise the SDK (the phone
/// registers with the backend under a fresh RSA key pair), to update the user's token, to read
/// version, configuration and state, and to shut down. Class-level state is process-wide; the
/// shared instance holds what belongs to the current registration.
class LUMO_EXPORT LumoSdk {
 public:
  /// The host's view of initialisation: success, expired authorisation, error.
  class LUMO_EXPORT InitCallback {
   public:
    virtual ~InitCallback() = default;
    /// The backend accepted the registration; the SDK is initialised. Main thread.
    virtual void onSuccess() = 0;
    /// The backend refused the user's token (expired authorisation): get a new token and call
    /// initSdk again. Main thread.
    virtual void onAuthExpire() = 0;
    /// Initialisation failed; `message` says why (missing argument, key generation, network or
    /// backend error). Main thread.
    virtual void onError(const std::string& message) = 0;
  };

  /// The SDK's version, "0.0.2".
  static constexpr const char* lumo_version = "0.0.2";

  /// The one instance, made on first access (safe from any thread) and never destroyed.
  static LumoSdk& shared();

  // ---- class-level properties (readable and writable by the host; thread-safe, since the
  // backend client reads the token off the main thread)
  /// Whether the backend has accepted the registration.
  static bool isInitialized();
  /// Sets the flag that isInitialized() reads; initSdk and deInit set it themselves.
  static void setIsInitialized(bool value);
  /// The user's access token sent with every backend request ("accessToken").
  static std::string token();
  /// Replaces the token as updateAccessToken does, without its checks.
  static void setToken(std::string value);
  /// The application key given to initSdk.
  static std::string appKey();
  /// Replaces the stored application key.
  static void setAppKey(std::string value);
  /// The debug flag given to initSdk (true again after deInit).
  static bool debugMode();
  /// Replaces the debug flag.
  static void setDebugMode(bool value);
  /// The environment given to initSdk (development until then).
  static LumoEnvironment currentEnvironment();
  /// Replaces the environment; the next request goes to its base URL.
  static void setCurrentEnvironment(LumoEnvironment value);
  /// Names the backend of the development environment, in place of the default address
  /// (https://127.0.0.1:18443) or an earlier call: `baseUrl` is an https origin (a trailing slash
  /// is dropped) and `caFile`, when not empty, a PEM file whose certificates are then trusted for
  /// that URL's host only, never for production. The production environment is never affected.
  /// False, with a system-log line, and nothing changed when the URL is not https or the file
  /// holds no certificate; the system log also records every backend named. Any thread; the
  /// next request to the development environment goes there.
  static bool setDevelopmentBackend(const std::string& baseUrl, const std::string& caFile = std::string());
  /// True while the remote-control page is shown: the host must then allow landscape (the
  /// orientation contract; see the host guide).
  static bool landspace();
  /// Set by the remote-control page when it appears and cleared when it disappears.
  static void setLandspace(bool value);

  // ---- operations (main thread)
  /// Initialises the SDK once: stores the configuration, starts the logger, makes an RSA key pair
  /// and registers the phone with the environment's backend ("/oper_sdk/init") behind a loading
  /// overlay on the first window. Call on the main thread once the host's window exists.
  /// Exactly one callback then runs, on the main thread: `onSuccess` once the backend accepted
  /// (at once when the SDK is already initialised), `onAuthExpire` when it refused the token, or
  /// `onError` with the reason: an empty `appKey` or `userToken` or an environment out of range
  /// (then nothing else happens), a failed key generation, a network or backend error. Each
  /// callback is optional. A later call while a registration is in flight supersedes it: the
  /// earlier answer is ignored.
  static void initSdk(const std::string& appKey, const std::string& userToken, LumoEnvironment environment,
                      bool debug, std::function<void()> onSuccess = nullptr,
                      std::function<void()> onAuthExpire = nullptr,
                      std::function<void(const std::string& message)> onError = nullptr);
  /// Ignored silently when `token` is empty.
  /// Refused with the not-initialised line before initSdk has succeeded. Main thread.
  static void updateAccessToken(const std::string& token);
  /// "当前 SDK 版本: 0.0.2"; empty text when the SDK is not initialised.
  static std::string getSdkConfig();
  /// The environment the SDK talks to, as currentEnvironment().
  static LumoEnvironment getCurrentEnvironment();
  /// Whether the backend has accepted the registration, as isInitialized().
  static bool isInitializedFunc();
  /// False, with an error record, when the SDK is not initialised.
  static bool checkInitialized();
  /// Shuts the SDK down: clears the initialised flag, the token and the key pair (an answer to a
  /// registration still in flight is then ignored) and flushes and closes the logger. initSdk may
  /// be called again afterwards. Main thread.
  static void deInit();

  // ---- vehicle operations (main thread; outcomes reach the user as toasts and pages)
  /// Asks the backend for the vehicle's control data and presents the remote-control page
  /// full screen on the host's top view controller.
  /// A missing or empty VIN, a failed request or an error answer end in a toast, and nothing is
  /// presented; before initialisation the call is refused with the not-initialised line. The
  /// page then finds, connects and drives the vehicle itself (see LumoControlPage).
  static void openControlPage(const std::optional<std::string>& vin);
  /// The detail page and the cabinet door refuse before initialisation with the
  /// not-initialised line, and an empty VIN with a toast.
  /// Remembers the VIN for the page and shows LumoDetailPage on the host's top controller.
  static void openDetailPage(const std::string& vin);
  /// Asks the user to confirm, then asks the backend to open the vehicle's cabinet door.
  /// The outcome reaches the user as a toast ("操作成功" or the failure).
  static void openCabinet(const std::string& vin);
  /// As openCabinet; `callback` runs once after the backend accepted the request.
  /// `callback` runs on the main thread; it does not run when the user cancels or the request fails.
  static void openCabinetWithCallback(const std::string& vin, std::function<void()> callback);

  // ---- the current registration
  /// The callbacks of the latest initSdk call, or null before the first.
  std::shared_ptr<InitCallback> callbackHandler() const;
  /// The key pair of the current registration; nothing before initSdk and after deInit.
  std::optional<RsaCryptoUtils::KeyPair> keyPair() const;

  /// Forgets all configuration and state (tests only).
  static void resetForTesting();

 private:
  LumoSdk() = default;
};

}  // namespace lumo
