#include "sim/backend/BackendService.h"

#include <utility>

namespace sim {

namespace {

const std::string kInit = "/oper_sdk/init";
const std::string kOperateInfo = "/oper_sdk/operate_info";
const std::string kOpenCabinet = "/oper_sdk/open_cabinet";
const std::string kVehicleInfo = "/oper_sdk/vehicle_info";
const std::string kSaveLogs = "/app_log/save";

std::string textField(const nlohmann::json& body, const char* key) {
  auto it = body.find(key);
  return (it != body.end() && it->is_string()) ? it->get<std::string>() : std::string();
}

}  // namespace

const std::vector<std::string>& BackendService::deviceHeaderNames() {
  static const std::vector<std::string> names = {"device-model",   "device-name", "system-name", "system-version",
                                                 "app-version",    "app-build",   "device-id"};
  return names;
}

void BackendService::addApp(const std::string& appKey, const std::string& bundleIdentifier) {
  std::lock_guard lock(mutex_);
  apps_[appKey] = bundleIdentifier;
}

void BackendService::addUser(const std::string& token, const std::string& userName) {
  std::lock_guard lock(mutex_);
  User& user = users_[token];
  user.userId = std::to_string(nextUserNumber_++);
  user.userId.insert(user.userId.begin(), 'u');
  user.userName = userName;
  user.expired = false;
}

void BackendService::expireToken(const std::string& token) {
  std::lock_guard lock(mutex_);
  if (auto it = users_.find(token); it != users_.end()) it->second.expired = true;
}

void BackendService::addVehicle(const BackendVehicle& vehicle) {
  std::lock_guard lock(mutex_);
  vehicles_[vehicle.vin] = vehicle;
}

std::optional<BackendVehicle> BackendService::vehicle(const std::string& vin) const {
  std::lock_guard lock(mutex_);
  auto it = vehicles_.find(vin);
  if (it == vehicles_.end()) return std::nullopt;
  return it->second;
}

void BackendService::setEncryptData(bool encrypt) {
  std::lock_guard lock(mutex_);
  encryptData_ = encrypt;
}

std::optional<std::string> BackendService::registeredPublicKey(const std::string& token) const {
  std::lock_guard lock(mutex_);
  auto it = users_.find(token);
  if (it == users_.end() || !it->second.key) return std::nullopt;
  return it->second.keyText;
}

std::vector<nlohmann::json> BackendService::logUploads() const {
  std::lock_guard lock(mutex_);
  return logUploads_;
}

std::vector<nlohmann::json> BackendService::takeLogUploads() {
  std::lock_guard lock(mutex_);
  return std::exchange(logUploads_, {});
}

nlohmann::json BackendService::undecryptableEnvelope() {
  // 256 bytes of a well-formed Base64 block that is no OAEP ciphertext under any key.
  std::string block(256, '\x5A');
  return {{"code", kCodeSuccess}, {"msg", "success"}, {"data", {{"str", BackendCrypto::base64(block)}}}};
}

BackendAnswer BackendService::envelope(int code, const std::string& msg, const nlohmann::json& data) {
  nlohmann::json body = {{"code", code}, {"msg", msg}};
  if (!data.is_null()) body["data"] = data;
  return BackendAnswer{200, body.dump()};
}

BackendAnswer BackendService::withData(const User& user, const nlohmann::json& data) const {
  if (encryptData_ && user.key) {
    if (auto sealed = BackendCrypto::encryptForPhone(data.dump(), user.key)) {
      return envelope(kCodeSuccess, "success", {{"str", *sealed}});
    }
  }
  return envelope(kCodeSuccess, "success", data);
}

BackendAnswer BackendService::handle(const RecordedRequest& request) {
  static const std::set<std::string> paths = {kInit, kOperateInfo, kOpenCabinet, kVehicleInfo, kSaveLogs};
  if (!paths.count(request.path)) {
    BackendAnswer answer = envelope(kCodeNotFound, "接口不存在");
    answer.status = 404;
    return answer;
  }
  if (request.method != "POST" || !request.json.is_object() ||
      request.header("content-type").rfind("application/json", 0) != 0) {
    return envelope(kCodeBadRequest, "请求格式错误");
  }
  for (const auto& name : deviceHeaderNames()) {
    if (request.header(name).empty()) return envelope(kCodeBadRequest, "缺少设备信息: " + name);
  }

  std::lock_guard lock(mutex_);
  auto user = users_.find(textField(request.json, "accessToken"));
  if (user == users_.end() || user->second.expired) return envelope(kCodeAuthExpired, "授权已过期");
  if (request.path == kInit) return registerPhone(user->second, request.json);
  if (request.path == kSaveLogs) return saveLogs(request);
  return vehicleAnswer(user->second, request.path, request.json);
}

BackendAnswer BackendService::registerPhone(User& user, const nlohmann::json& body) {
  auto app = apps_.find(textField(body, "app_key"));
  if (app == apps_.end()) return envelope(kCodeUnknownApp, "app_key无效");
  std::string ts = textField(body, "ts");
  if (ts.empty() || textField(body, "sign") != BackendCrypto::md5Hex(app->second + "==" + ts)) {
    return envelope(kCodeBadSign, "签名校验失败");
  }
  std::string keyText = textField(body, "k");
  auto key = BackendCrypto::parseSubjectPublicKeyInfo(keyText);
  if (!key) return envelope(kCodeBadPublicKey, "公钥格式错误");
  user.key = key;
  user.keyText = keyText;
  return withData(user, {{"userId", user.userId}, {"userName", user.userName}});
}

BackendAnswer BackendService::vehicleAnswer(const User& user, const std::string& path, const nlohmann::json& body) {
  auto found = vehicles_.find(textField(body, "vin"));
  if (found == vehicles_.end()) return envelope(kCodeUnknownVehicle, "车辆不存在");
  BackendVehicle& vehicle = found->second;
  if (path == kOperateInfo) {
    return withData(user, {{"vehicleId", vehicle.vehicleId},
                           {"name", vehicle.name},
                           {"bleName", vehicle.bleName},
                           {"userName", user.userName}});
  }
  if (path == kOpenCabinet) return openCabinet(vehicle);
  return vehicleInfo(user, vehicle);
}

BackendAnswer BackendService::openCabinet(BackendVehicle& vehicle) {
  // A jammed lock refuses like the real backend does: an application error, door unchanged.
  if (jammedCabinets_.count(vehicle.vin)) return envelope(kCodeCabinetFault, "车门故障");
  vehicle.cabinetLocked = false;
  return envelope(kCodeSuccess, "success");
}

BackendAnswer BackendService::vehicleInfo(const User& user, const BackendVehicle& vehicle) const {
  return withData(user, {{"vin", vehicle.vin}, {"name", vehicle.name}, {"cabinetLocked", vehicle.cabinetLocked}});
}

bool BackendService::closeCabinet(const std::string& vin) {
  std::lock_guard lock(mutex_);
  auto found = vehicles_.find(vin);
  if (found == vehicles_.end()) return false;
  found->second.cabinetLocked = true;
  return true;
}

bool BackendService::jamCabinet(const std::string& vin, bool jammed) {
  std::lock_guard lock(mutex_);
  auto found = vehicles_.find(vin);
  if (found == vehicles_.end()) return false;
  if (jammed) jammedCabinets_.insert(vin);
  else jammedCabinets_.erase(vin);
  return true;
}

BackendAnswer BackendService::saveLogs(const RecordedRequest& request) {
  auto logs = request.json.find("logs");
  if (logs == request.json.end() || !logs->is_array()) return envelope(kCodeBadRequest, "日志格式错误");
  // A resend of a batch kept earlier (its answer was lost on the way): accepted, kept once.
  std::string key = request.header("idempotency-key");
  if (!key.empty() && !logUploadKeys_.insert(key).second) return envelope(kCodeSuccess, "success");
  logUploads_.push_back(request.json);
  return envelope(kCodeSuccess, "success");
}

}  // namespace sim
