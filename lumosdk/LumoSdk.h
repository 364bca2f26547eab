#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lumosdk/LumoEnvironment.h"
#include "lumosdk/LumoExport.h"
#include "lumosdk/utils/RsaCryptoUtils.h"

namespace lumo {

// The SDK's public entry. A host calls it on its main thread to initialise the SDK (the phone
// registers with the backend under a fresh RSA key pair), to update the user's token, to read
// version, configuration and state, and to shut down. Class-level state is process-wide; the
// shared instance holds what belongs to the current registration.
class LUMO_EXPORT LumoSdk {
 public:
  // The host's view of initialisation: success, expired authorisation, error.
  class LUMO_EXPORT InitCallback {
   public:
    virtual ~InitCallback() = default;
    virtual void onSuccess() = 0;
    virtual void onAuthExpire() = 0;
    virtual void onError(const std::string& message) = 0;
  };

  static constexpr const char* lumo_version = "0.0.2";

  static LumoSdk& shared();

  // ---- class-level properties (readable and writable by the host; thread-safe, since the
  // backend client reads the token off the main thread)
  static bool isInitialized();
  static void setIsInitialized(bool value);
  static std::string token();
  static void setToken(std::string value);
  static std::string appKey();
  static void setAppKey(std::string value);
  static bool debugMode();
  static void setDebugMode(bool value);
  static LumoEnvironment currentEnvironment();
  static void setCurrentEnvironment(LumoEnvironment value);
  static bool landspace();
  static void setLandspace(bool value);

  // ---- operations (main thread)
  static void initSdk(const std::string& appKey, const std::string& userToken, LumoEnvironment environment,
                      bool debug, std::function<void()> onSuccess = nullptr,
                      std::function<void()> onAuthExpire = nullptr,
                      std::function<void(const std::string& message)> onError = nullptr);
  // Ignored silently when `token` is empty.
  static void updateAccessToken(const std::string& token);
  // "当前 SDK 版本: 0.0.2"; empty text when the SDK is not initialised.
  static std::string getSdkConfig();
  static LumoEnvironment getCurrentEnvironment();
  static bool isInitializedFunc();
  // False, with an error record, when the SDK is not initialised.
  static bool checkInitialized();
  static void deInit();

  // ---- vehicle operations (main thread; outcomes reach the user as toasts and pages)
  // Asks the backend for the vehicle's control data and presents the remote-control page
  // full screen on the host's top view controller.
  static void openControlPage(const std::optional<std::string>& vin);
  // The detail page and the cabinet door refuse before initialisation with the
  // not-initialised line, and an empty VIN with a toast.
  // Remembers the VIN for the page and shows LumoDetailPage on the host's top controller.
  static void openDetailPage(const std::string& vin);
  // Asks the user to confirm, then asks the backend to open the vehicle's cabinet door.
  static void openCabinet(const std::string& vin);
  // As openCabinet; `callback` runs once after the backend accepted the request.
  static void openCabinetWithCallback(const std::string& vin, std::function<void()> callback);

  // ---- the current registration
  std::shared_ptr<InitCallback> callbackHandler() const;
  std::optional<RsaCryptoUtils::KeyPair> keyPair() const;

  static void resetForTesting();

 private:
  LumoSdk() = default;
};

}  // namespace lumo
