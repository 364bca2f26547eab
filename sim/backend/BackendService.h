#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/backend/BackendCrypto.h"
#include "sim/backend/BackendVehicle.h"
#include "sim/backend/RecordedRequest.h"

namespace sim {

// An HTTP answer before it goes on the wire.
struct BackendAnswer {
  int status = 200;
  std::string body;
};

// The operator backend's behaviour without the HTTP server around it: apps, users and their
// tokens, registered phone keys, vehicles and uploaded logs, and the five endpoints' answers
// in the common envelope. Thread-safe: the server calls it from its worker threads.
class BackendService {
 public:
  static constexpr int kCodeSuccess = 0;
  static constexpr int kCodeBadRequest = 400;
  static constexpr int kCodeNotFound = 404;
  static constexpr int kCodeAuthExpired = 1001;
  static constexpr int kCodeUnknownApp = 1002;
  static constexpr int kCodeBadSign = 1003;
  static constexpr int kCodeBadPublicKey = 1004;
  static constexpr int kCodeUnknownVehicle = 2001;
  static constexpr int kCodeCabinetFault = 500;

  // The seven headers every request from the SDK carries.
  static const std::vector<std::string>& deviceHeaderNames();

  void addApp(const std::string& appKey, const std::string& bundleIdentifier);
  void addUser(const std::string& token, const std::string& userName);
  void expireToken(const std::string& token);
  void addVehicle(const BackendVehicle& vehicle);
  std::optional<BackendVehicle> vehicle(const std::string& vin) const;
  // Someone shuts the vehicle's cabinet door by hand: it reads locked again. False for an
  // unknown VIN.
  bool closeCabinet(const std::string& vin);
  // A jammed lock makes "/oper_sdk/open_cabinet" answer kCodeCabinetFault and leaves the door
  // as it is. False for an unknown VIN.
  bool jamCabinet(const std::string& vin, bool jammed);
  // Whether "data" goes out encrypted for the caller's registered key (default true).
  void setEncryptData(bool encrypt);

  // The "k" text of the token's latest successful registration.
  std::optional<std::string> registeredPublicKey(const std::string& token) const;
  // Bodies of accepted log uploads, in arrival order. An upload whose "idempotency-key"
  // header was seen before is answered as accepted and not kept again.
  std::vector<nlohmann::json> logUploads() const;
  // Hands over the accepted log uploads and forgets them (long runs keep memory flat).
  std::vector<nlohmann::json> takeLogUploads();

  BackendAnswer handle(const RecordedRequest& request);
  // A code-0 envelope whose "data" carries a ciphertext no registered key opens.
  static nlohmann::json undecryptableEnvelope();

 private:
  struct User {
    std::string userId;
    std::string userName;
    bool expired = false;
    BackendCrypto::PublicKey key;
    std::string keyText;
  };

  static BackendAnswer envelope(int code, const std::string& msg, const nlohmann::json& data = nullptr);
  BackendAnswer withData(const User& user, const nlohmann::json& data) const;
  BackendAnswer registerPhone(User& user, const nlohmann::json& body);
  BackendAnswer vehicleAnswer(const User& user, const std::string& path, const nlohmann::json& body);
  BackendAnswer openCabinet(BackendVehicle& vehicle);
  BackendAnswer vehicleInfo(const User& user, const BackendVehicle& vehicle) const;
  BackendAnswer saveLogs(const RecordedRequest& request);

  mutable std::mutex mutex_;
  std::map<std::string, std::string> apps_;  // app key -> bundle identifier
  std::map<std::string, User> users_;        // token -> user
  std::map<std::string, BackendVehicle> vehicles_;
  std::set<std::string> jammedCabinets_;  // VINs whose lock refuses to open
  std::vector<nlohmann::json> logUploads_;
  std::set<std::string> logUploadKeys_;
  bool encryptData_ = true;
  int nextUserNumber_ = 1001;
};

}  // namespace sim
