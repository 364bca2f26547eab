#include <gtest/gtest.h>

#include "lumosdk/utils/RsaCryptoUtils.h"
#include "sim/backend/BackendService.h"
#include "tests/support/VirtualTimeTest.h"

namespace {

using nlohmann::json;
using sim::BackendService;
using sim::RecordedRequest;

// The backend's rules without HTTP in between: requests built as the SDK sends them.
class BackendServiceTest : public lumo::test::VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    service_.addApp("app", "com.example.host");
    service_.addUser("t1", "张三");
    service_.addVehicle({"VIN1", 12, "配送车", "LUMO-12", true});
  }

  RecordedRequest request(const std::string& path, json body) {
    RecordedRequest r;
    r.method = "POST";
    r.path = path;
    r.headers["content-type"] = "application/json";
    for (const auto& name : BackendService::deviceHeaderNames()) r.headers[name] = "v";
    if (body.is_object() && !body.contains("accessToken")) body["accessToken"] = "t1";
    r.json = body;
    r.body = body.dump();
    return r;
  }

  json answer(const RecordedRequest& r, int expectedStatus = 200) {
    auto out = service_.handle(r);
    EXPECT_EQ(out.status, expectedStatus);
    return json::parse(out.body, nullptr, false);
  }

  json registration(const std::string& sign, const std::string& k) {
    return {{"app_key", "app"}, {"ts", "1767225600000.0"}, {"sign", sign}, {"k", k}};
  }

  BackendService service_;
};

TEST_F(BackendServiceTest, RegistrationChecksSignAndKeyThenEncryptsForThatKey) {
  auto pair = lumo::RsaCryptoUtils::generateKeyPair();
  ASSERT_TRUE(pair);
  std::string k = *lumo::RsaCryptoUtils::getX509SPKIPublicKey(pair->publicKey);
  std::string sign = *lumo::RsaCryptoUtils::md5("com.example.host==1767225600000.0");

  json otherApp = registration(sign, k);
  otherApp["app_key"] = "other";
  EXPECT_EQ(answer(request("/oper_sdk/init", otherApp))["code"], BackendService::kCodeUnknownApp);
  EXPECT_EQ(answer(request("/oper_sdk/init", registration(std::string(32, '0'), k)))["code"],
            BackendService::kCodeBadSign);
  EXPECT_EQ(answer(request("/oper_sdk/init", registration(sign, "")))["code"], BackendService::kCodeBadPublicKey);
  EXPECT_EQ(answer(request("/oper_sdk/init", registration(sign, k.substr(0, 388))))["code"],
            BackendService::kCodeBadPublicKey);
  EXPECT_FALSE(service_.registeredPublicKey("t1"));

  json ok = answer(request("/oper_sdk/init", registration(sign, k)));
  ASSERT_EQ(ok["code"], 0);
  ASSERT_TRUE(ok["data"]["str"].is_string());
  auto plain = lumo::RsaCryptoUtils::decrypt(ok["data"]["str"], pair->privateKey);
  ASSERT_TRUE(plain);
  json data = json::parse(*plain);
  EXPECT_EQ(data["userName"], "张三");
  EXPECT_TRUE(data["userId"].is_string());
  EXPECT_EQ(service_.registeredPublicKey("t1"), k);

  service_.setEncryptData(false);
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["data"],
            json({{"vin", "VIN1"}, {"name", "配送车"}, {"cabinetLocked", true}}));
}

TEST_F(BackendServiceTest, TokensFormatAndHeadersAreEnforced) {
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}, {"accessToken", "nobody"}}))["code"], 1001);
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}, {"accessToken", 5}}))["code"], 1001);
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["code"], 0);
  service_.expireToken("t1");
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["code"], 1001);
  service_.addUser("t1", "张三");
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["code"], 0);

  for (const auto& name : BackendService::deviceHeaderNames()) {
    auto r = request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}});
    r.headers.erase(name);
    EXPECT_EQ(answer(r)["code"], BackendService::kCodeBadRequest) << name;
  }
  auto notJson = request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}});
  notJson.json = json::array();
  EXPECT_EQ(answer(notJson)["code"], BackendService::kCodeBadRequest);
  auto wrongType = request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}});
  wrongType.headers["content-type"] = "text/plain";
  EXPECT_EQ(answer(wrongType)["code"], BackendService::kCodeBadRequest);
  EXPECT_EQ(answer(request("/oper_sdk/elsewhere", json::object()), 404)["code"], BackendService::kCodeNotFound);
}

TEST_F(BackendServiceTest, VehiclesCabinetsAndLogsKeepTheirState) {
  EXPECT_EQ(answer(request("/oper_sdk/operate_info", {{"vin", "nope"}}))["code"], BackendService::kCodeUnknownVehicle);
  EXPECT_EQ(answer(request("/oper_sdk/operate_info", {{"vin", "VIN1"}}))["data"],
            json({{"vehicleId", 12}, {"name", "配送车"}, {"bleName", "LUMO-12"}, {"userName", "张三"}}));
  EXPECT_TRUE(service_.vehicle("VIN1")->cabinetLocked);
  EXPECT_EQ(answer(request("/oper_sdk/open_cabinet", {{"vin", "VIN1"}}))["code"], 0);
  EXPECT_FALSE(service_.vehicle("VIN1")->cabinetLocked);
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["data"]["cabinetLocked"], false);

  EXPECT_EQ(answer(request("/app_log/save", {{"logs", "not a list"}}))["code"], BackendService::kCodeBadRequest);
  json upload = {{"logs", json::array({{{"priority", 4}, {"tag", "lumosdk"}, {"message", "m"}}})},
                 {"device_info", {{"model", "x"}}}};
  EXPECT_EQ(answer(request("/app_log/save", upload))["code"], 0);
  ASSERT_EQ(service_.logUploads().size(), 1u);
  EXPECT_EQ(service_.logUploads()[0]["logs"], upload["logs"]);
  EXPECT_EQ(service_.logUploads()[0]["accessToken"], "t1");
}

TEST_F(BackendServiceTest, AJammedCabinetRefusesAndAClosedOneReadsLockedAgain) {
  EXPECT_FALSE(service_.jamCabinet("nope", true));
  EXPECT_FALSE(service_.closeCabinet("nope"));
  EXPECT_EQ(answer(request("/oper_sdk/open_cabinet", {{"vin", "nope"}}))["code"], BackendService::kCodeUnknownVehicle);

  ASSERT_TRUE(service_.jamCabinet("VIN1", true));
  json refused = answer(request("/oper_sdk/open_cabinet", {{"vin", "VIN1"}}));
  EXPECT_EQ(refused["code"], BackendService::kCodeCabinetFault);
  EXPECT_EQ(refused["msg"], "车门故障");
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["data"]["cabinetLocked"], true);

  ASSERT_TRUE(service_.jamCabinet("VIN1", false));
  EXPECT_EQ(answer(request("/oper_sdk/open_cabinet", {{"vin", "VIN1"}}))["code"], 0);
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["data"]["cabinetLocked"], false);
  ASSERT_TRUE(service_.closeCabinet("VIN1"));
  EXPECT_EQ(answer(request("/oper_sdk/vehicle_info", {{"vin", "VIN1"}}))["data"]["cabinetLocked"], true);
}

}  // namespace
