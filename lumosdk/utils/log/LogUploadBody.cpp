#include "lumosdk/utils/log/LogUploader.h"

#include <openssl/evp.h>
#include <time.h>

#include <cstdio>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"

// What an upload carries: its body and its idempotency key.
namespace lumo::logging {

std::string LogUploader::formatTimestamp(std::int64_t millis) {
  std::int64_t seconds = millis / 1000;
  int fraction = static_cast<int>(millis % 1000);
  if (fraction < 0) {
    fraction += 1000;
    seconds -= 1;
  }
  time_t whole = static_cast<time_t>(seconds);
  struct tm local {};
  localtime_r(&whole, &local);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, fraction);
  return text;
}

nlohmann::json LogUploader::makeLogs(const std::vector<LogRow>& rows) {
  nlohmann::json logs = nlohmann::json::array();
  for (const auto& row : rows) {
    logs.push_back({{"priority", rawValue(row.level)},
                    {"tag", row.tag},
                    {"message", row.message},
                    {"timestamp", formatTimestamp(row.timestamp)}});
  }
  return logs;
}

nlohmann::json LogUploader::makeBody(nlohmann::json logs) {
  nlohmann::json body = {{"logs", std::move(logs)}, {"device_info", LogUtil::getDeviceInfo()}};
  if (auto userInfo = LoggerState::shared().userInfo()) body["user_Info"] = *userInfo;
  return body;
}

std::string LogUploader::idempotencyKey(const nlohmann::json& logs) {
  std::string text = NetworkUtil::getDeviceInfo()["device-id"];
  text += '\n';
  text += logs.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string key;
  for (unsigned int i = 0; i < length; ++i) {
    key.push_back(kHex[digest[i] >> 4]);
    key.push_back(kHex[digest[i] & 0x0F]);
  }
  return key;
}

}  // namespace lumo::logging
