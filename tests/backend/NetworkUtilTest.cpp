#include <gtest/gtest.h>

#include <stdlib.h>

#include "lumosdk/LumoEnvironment.h"
#include "lumosdk/LumoSdk.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/RsaCryptoUtils.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/DeviceInfo.h"
#include "sim/backend/BackendCrypto.h"
#include "tests/backend/NetworkUtilFixture.h"

namespace {

using lumo::NetworkError;
using lumo::NetworkUtil;
using lumo::RsaCryptoUtils;
using nlohmann::json;
using sim::BackendReply;
using sim::BackendSimulator;

class NetworkUtilTest : public lumo::test::NetworkUtilFixture {};

const std::vector<std::string> kDeviceHeaders = {"device-model", "device-name", "system-name", "system-version",
                                                 "app-version",  "app-build",   "device-id"};

TEST_F(NetworkUtilTest, EveryRequestCarriesTheSameDeviceHeadersAndTheToken) {
  post("/oper_sdk/vehicle_info", {{"vin", BackendSimulator::kDemoVin}});
  postBackground("/app_log/save", {{"logs", json::array()}});
  post("/oper_sdk/vehicle_info", {{"vin", BackendSimulator::kDemoVin}, {"accessToken", "caller-token"}});

  auto requests = backend_->requests();
  ASSERT_EQ(requests.size(), 3u);
  const auto& device = platform::foundation::DeviceInfo::current();
  EXPECT_EQ(requests[0].header("device-model"), device.model());
  EXPECT_EQ(requests[0].header("device-name"), device.name());
  EXPECT_EQ(requests[0].header("system-name"), device.systemName());
  EXPECT_EQ(requests[0].header("system-version"), device.systemVersion());
  EXPECT_EQ(requests[0].header("app-version"), platform::foundation::BundleInfo::kDefaultShortVersion);
  EXPECT_EQ(requests[0].header("app-build"), platform::foundation::BundleInfo::kDefaultBuildVersion);
  EXPECT_EQ(requests[0].header("device-id").size(), 36u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.header("content-type"), "application/json");
    for (const auto& name : kDeviceHeaders) {
      EXPECT_FALSE(request.header(name).empty()) << name;
      EXPECT_EQ(request.header(name), requests[0].header(name)) << name;
    }
  }
  EXPECT_EQ(requests[0].json, json({{"vin", BackendSimulator::kDemoVin}, {"accessToken", token_}}));
  EXPECT_EQ(requests[1].json["accessToken"], token_);
  EXPECT_EQ(requests[2].json["accessToken"], "caller-token");

  auto request = NetworkUtil::makeRequest(url("/x"), "POST", nullptr);
  ASSERT_TRUE(request);
  // A large log batch over a slow uplink may take longer than any fixed limit: only the
  // connection set-up and silence are limited.
  EXPECT_EQ(request->timeout.count(), 0.0);
  EXPECT_EQ(request->connectTimeout.count(), 30.0);
  EXPECT_EQ(request->idleTimeout.count(), 30.0);
  EXPECT_EQ(request->header("Content-Type"), nullptr);  // no params, no JSON body
}

TEST_F(NetworkUtilTest, ALineBreakInADeviceNameAddsNoHeader) {
  platform::foundation::DeviceInfo::setNameForTesting(std::string("Ann's phone\r\nX-Injected: 1\nX-Other: 2"));
  post("/oper_sdk/vehicle_info", {{"vin", BackendSimulator::kDemoVin}});
  postBackground("/app_log/save", {{"logs", json::array()}});
  platform::foundation::DeviceInfo::setNameForTesting(std::nullopt);

  auto requests = backend_->requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_EQ(request.headers.count("x-injected"), 0u);
    EXPECT_EQ(request.headers.count("x-other"), 0u);
    EXPECT_EQ(request.header("device-name"), "Ann's phone  X-Injected: 1 X-Other: 2");
    EXPECT_TRUE(request.json.is_object());
  }
}

TEST_F(NetworkUtilTest, DeviceHeadersAreBuiltOnceAndFallBackToUnknown) {
  auto& bundle = platform::foundation::BundleInfo::main();
  bundle.setShortVersion(std::nullopt);
  bundle.setBuildVersion(std::nullopt);
  auto headers = NetworkUtil::getDeviceInfo();
  EXPECT_EQ(headers.size(), 7u);
  EXPECT_EQ(headers["app-version"], "未知");
  EXPECT_EQ(headers["app-build"], "未知");
  bundle.setShortVersion("9.9");
  EXPECT_EQ(NetworkUtil::getDeviceInfo()["app-version"], "未知");  // cached for the process
}

TEST_F(NetworkUtilTest, ForegroundAnswersFollowTheEnvelopeRulesOnTheMainThread) {
  backend_->queueReply("/oper_sdk/vehicle_info", BackendReply::code(1001, "expired"));
  auto expired = post("/oper_sdk/vehicle_info", {{"vin", "x"}});
  EXPECT_TRUE(expired.onMainThread);
  ASSERT_FALSE(expired.result.isSuccess());
  EXPECT_EQ(*expired.result.error(), NetworkError::message("授权已过期"));
  EXPECT_EQ(authExpiredCalls(), 1);

  token_ = "nobody";  // the simulator's own answer to an unknown token
  auto unknown = post("/oper_sdk/vehicle_info", {{"vin", BackendSimulator::kDemoVin}});
  EXPECT_EQ(unknown.result.error()->description(), "授权已过期");
  EXPECT_EQ(authExpiredCalls(), 2);
  token_ = BackendSimulator::kDemoToken;

  backend_->queueReply("/oper_sdk/open_cabinet", BackendReply::envelopeWith({{"code", 7}, {"msg", "m"}}, 500));
  backend_->queueReply("/oper_sdk/open_cabinet", BackendReply::envelopeWith({{"code", 7}, {"msg", "m"}}, 200));
  auto at500 = post("/oper_sdk/open_cabinet", {{"vin", "x"}});
  auto at200 = post("/oper_sdk/open_cabinet", {{"vin", "x"}});
  ASSERT_TRUE(at500.result.isSuccess());
  EXPECT_EQ(at500.result.envelope(), json({{"code", 7}, {"msg", "m"}}));
  EXPECT_EQ(at500.result.envelope(), at200.result.envelope());

  for (const char* body : {"[1, 2]", "5", "\"text\"", "null", "garbage", "", "{\"code\":0", "<html>500</html>"}) {
    backend_->queueReply("/oper_sdk/vehicle_info", BackendReply::raw(body, 200));
    auto garbage = post("/oper_sdk/vehicle_info", {});
    ASSERT_FALSE(garbage.result.isSuccess()) << body;
    EXPECT_EQ(*garbage.result.error(), NetworkError::message("数据解析失败")) << body;
  }

  backend_->queueReply("/oper_sdk/vehicle_info", BackendReply::drop());
  auto dropped = post("/oper_sdk/vehicle_info", {});
  EXPECT_EQ(dropped.result.error()->description(), "网络连接已中断。");

  backend_->refuseConnections();
  auto refused = post("/oper_sdk/vehicle_info", {});
  EXPECT_TRUE(refused.onMainThread);
  EXPECT_EQ(*refused.result.error(), NetworkError::message("未能连接到服务器。"));
  EXPECT_EQ(authExpiredCalls(), 2);
  EXPECT_EQ(backend_->unusedReplies(), 0u);
}

TEST_F(NetworkUtilTest, BackgroundAnswersArriveOnTheCompletionThreadAndKeepTheExpiredEnvelope) {
  auto accepted = postBackground("/app_log/save", {{"logs", json::array({{{"tag", "t"}}})}});
  EXPECT_TRUE(accepted.onCompletionThread);
  EXPECT_FALSE(accepted.onMainThread);
  ASSERT_TRUE(accepted.result.isSuccess());
  EXPECT_EQ(accepted.result.envelope()["code"], 0);
  ASSERT_EQ(backend_->world().logUploads().size(), 1u);

  backend_->world().expireToken(token_);
  auto expired = postBackground("/app_log/save", {{"logs", json::array()}});
  EXPECT_TRUE(expired.onCompletionThread);
  ASSERT_TRUE(expired.result.isSuccess());
  EXPECT_EQ(expired.result.envelope()["code"], 1001);
  EXPECT_EQ(authExpiredCalls(), 1);

  backend_->queueReply("/app_log/save", BackendReply::raw("[]"));
  EXPECT_EQ(postBackground("/app_log/save", {}).result.error()->description(), "数据解析失败");

  backend_->refuseConnections();
  auto refused = postBackground("/app_log/save", {});
  EXPECT_TRUE(refused.onCompletionThread);
  EXPECT_EQ(refused.result.error()->description(), "未能连接到服务器。");
}

TEST_F(NetworkUtilTest, ARequestThatCannotBeBuiltFailsAtOnceAndClosesTheOverlay) {
  for (const char* bad : {"", "not a url", "oper_sdk/init"}) {
    overlayEvents_.clear();
    NetworkUtil::post(nullptr, bad, {}, true, "正在发送指令", record());
    ASSERT_FALSE(deliveries().empty());  // before post returned, without running the loop
    EXPECT_EQ(*deliveries().back().result.error(), NetworkError::message("请求构建失败"));
    EXPECT_EQ(overlayEvents_, (std::vector<std::string>{"show:正在发送指令", "dismiss", "callback"}));
  }
  std::size_t before = deliveries().size();
  NetworkUtil::postBackground("https://", {}, record());
  ASSERT_EQ(deliveries().size(), before + 1);
  EXPECT_EQ(*deliveries().back().result.error(), NetworkError::message("请求构建失败"));
  EXPECT_TRUE(backend_->requests().empty());
}

TEST_F(NetworkUtilTest, TheOverlayIsDismissedOnTheMainThreadBeforeTheCallback) {
  post("/oper_sdk/vehicle_info", {{"vin", BackendSimulator::kDemoVin}}, true, "正在获取车辆信息");
  EXPECT_EQ(overlayEvents_, (std::vector<std::string>{"show:正在获取车辆信息", "dismiss", "callback"}));
  overlayEvents_.clear();
  backend_->refuseConnections();
  post("/oper_sdk/vehicle_info", {}, true);
  EXPECT_EQ(overlayEvents_, (std::vector<std::string>{"show:加载中...", "dismiss", "callback"}));
  overlayEvents_.clear();
  post("/oper_sdk/vehicle_info", {}, false);
  EXPECT_EQ(overlayEvents_, (std::vector<std::string>{"callback"}));
}

TEST_F(NetworkUtilTest, RegistrationIsSignedAndLaterDataArrivesDecrypted) {
  auto pair = RsaCryptoUtils::generateKeyPair();
  ASSERT_TRUE(pair);
  NetworkUtil::setPrivateKey(pair->privateKey);
  std::string ts = "1767225600000.0";
  std::string k = RsaCryptoUtils::getX509SPKIPublicKey(pair->publicKey).value_or("");
  std::string bundleId = platform::foundation::BundleInfo::main().identifier();
  json body = {{"app_key", BackendSimulator::kDemoAppKey},
               {"ts", ts},
               {"sign", RsaCryptoUtils::md5(bundleId + "==" + ts).value_or("")},
               {"k", k}};

  json wronglySigned = body;
  wronglySigned["sign"] = RsaCryptoUtils::md5("x==" + ts).value();
  auto badSign = post("/oper_sdk/init", wronglySigned);
  ASSERT_TRUE(badSign.result.isSuccess());  // an application error: the caller reads "code"
  EXPECT_EQ(badSign.result.envelope()["code"], sim::BackendService::kCodeBadSign);

  auto registered = post("/oper_sdk/init", body, true, "正在初始化");
  ASSERT_TRUE(registered.result.isSuccess());
  const json& envelope = registered.result.envelope();
  EXPECT_EQ(envelope["code"], 0);
  ASSERT_TRUE(envelope["data"].is_object());
  EXPECT_FALSE(envelope["data"].contains("str"));
  EXPECT_EQ(envelope["data"]["userName"], "演示用户");
  EXPECT_EQ(backend_->world().registeredPublicKey(token_), k);
  EXPECT_TRUE(backend_->requestsTo("/oper_sdk/init").back().json["accessToken"] == token_);

  auto info = post("/oper_sdk/operate_info",
                   {{"vin", BackendSimulator::kDemoVin}, {"operatorId", "operatorId"}, {"permission", "W"}});
  EXPECT_EQ(info.result.envelope()["data"],
            json({{"vehicleId", 1}, {"name", "配送车 001"}, {"bleName", BackendSimulator::kDemoBleName},
                  {"userName", "演示用户"}}));

  backend_->queueReply("/oper_sdk/vehicle_info", BackendReply::undecryptable());
  auto sealedShut = post("/oper_sdk/vehicle_info", {{"vin", BackendSimulator::kDemoVin}});
  ASSERT_TRUE(sealedShut.result.isSuccess());
  EXPECT_EQ(sealedShut.result.envelope(), sim::BackendService::undecryptableEnvelope());
  EXPECT_EQ(consoleLines().size(), 1u);
  EXPECT_EQ(consoleLines()[0].rfind("RSA解密失败: ", 0), 0u);
}

TEST_F(NetworkUtilTest, OnlyCodeZeroEnvelopesWithTextCiphertextAreOpened) {
  auto pair = RsaCryptoUtils::generateKeyPair();
  ASSERT_TRUE(pair);
  auto backendKey = sim::BackendCrypto::parseSubjectPublicKeyInfo(*RsaCryptoUtils::getX509SPKIPublicKey(pair->publicKey));
  auto seal = [&](const std::string& text) { return sim::BackendCrypto::encryptForPhone(text, backendKey).value(); };
  auto apply = [&](const json& envelope) {
    std::optional<NetworkUtil::Result> out;
    NetworkUtil::handleResponse(envelope, [&](const NetworkUtil::Result& result) { out = result; });
    EXPECT_TRUE(out);
    return out.value_or(NetworkUtil::Result::failure(NetworkError::message("no call")));
  };

  json sealed = {{"code", 0}, {"data", {{"str", seal(R"({"a":2})")}, {"x", 1}}}};
  EXPECT_EQ(apply(sealed).envelope(), sealed);  // no private key yet
  NetworkUtil::setPrivateKey(pair->privateKey);
  EXPECT_EQ(apply(sealed).envelope(), json({{"code", 0}, {"data", {{"a", 2}}}}));

  for (const json& unchanged : {
           json{{"code", 0}, {"data", {{"str", 5}}}},
           json{{"code", 7}, {"msg", "m"}},
           json{{"code", 3}, {"data", {{"str", seal(R"({"a":2})")}}}},
           json{{"code", "0"}, {"data", {{"str", seal(R"({"a":2})")}}}},
           json{{"code", 0.0}, {"data", {{"str", seal(R"({"a":2})")}}}},
           json{{"code", 0}, {"data", {{"str", seal("[1]")}}}},
           json{{"code", 0}, {"data", {{"str", seal("not json")}}}},
           json{{"code", 0}, {"data", "text"}},
           json{{"msg", "no code"}},
           json::object(),
       }) {
    auto result = apply(unchanged);
    EXPECT_TRUE(result.isSuccess()) << unchanged.dump();
    EXPECT_EQ(result.envelope(), unchanged);
  }
  EXPECT_EQ(authExpiredCalls(), 0);
  EXPECT_FALSE(apply({{"code", 1001}}).isSuccess());
  EXPECT_EQ(authExpiredCalls(), 1);
  EXPECT_EQ(NetworkError::message("请求构建失败").debugDescription(), "message(\"请求构建失败\")");
  EXPECT_EQ(NetworkError::code(7, "m").debugDescription(), "code(7, \"m\")");
}

class LumoEnvironmentTest : public lumo::test::VirtualTimeTest {};

TEST_F(LumoEnvironmentTest, BaseUrlsAreHttpsOriginsWithoutTrailingSlash) {
  ::unsetenv("LUMO_DEV_BASE_URL");
  lumo::LumoSdk::resetForTesting();
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), "https://127.0.0.1:18443");
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::production).rfind("https://", 0), 0u);
  EXPECT_TRUE(systemLogLines().empty());
  ASSERT_TRUE(lumo::LumoSdk::setDevelopmentBackend("https://localhost:9443//"));
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), "https://localhost:9443");
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::production).rfind("https://oper-api", 0), 0u);
  // The token would go out in clear: refused, and said so.
  EXPECT_FALSE(lumo::LumoSdk::setDevelopmentBackend("http://192.0.2.7:8080"));
  EXPECT_FALSE(lumo::LumoSdk::setDevelopmentBackend("localhost:9443"));
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), "https://localhost:9443");
  std::vector<std::string> warnings;
  for (const auto& [level, line] : systemLogLines()) warnings.push_back(line);
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "LumoSdk: development backend https://localhost:9443",
                          "LumoSdk: development backend refused, not an https URL: http://192.0.2.7:8080",
                          "LumoSdk: development backend refused, not an https URL: localhost:9443"}));
  EXPECT_EQ(lumo::lumoEnvironmentFromRaw(1), lumo::LumoEnvironment::production);
  EXPECT_FALSE(lumo::lumoEnvironmentFromRaw(2));
}

}  // namespace
