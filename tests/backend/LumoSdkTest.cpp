#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <fstream>

#include "lumosdk/LumoSdk.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "platform/foundation/BundleInfo.h"
#include "sim/backend/BackendCrypto.h"
#include "tests/backend/NetworkUtilFixture.h"

namespace {

using lumo::LumoEnvironment;
using lumo::LumoSdk;
using sim::BackendReply;
using sim::BackendSimulator;

class LumoSdkTest : public lumo::test::NetworkUtilFixture {
 protected:
  void SetUp() override {
    NetworkUtilFixture::SetUp();
    LumoSdk::resetForTesting();
    lumo::logging::LoggerState::resetForTesting();
    ASSERT_TRUE(LumoSdk::setDevelopmentBackend(backend_->baseUrl()));
  }
  void TearDown() override {
    LumoSdk::deInit();
    lumo::logging::LoggerState::resetForTesting();
    NetworkUtilFixture::TearDown();
  }

  // Starts initialisation and records the host callbacks in order.
  void init(const std::string& appKey, const std::string& token) {
    LumoSdk::initSdk(
        appKey, token, LumoEnvironment::development, false, [this] { events_.push_back("success"); },
        [this] { events_.push_back("authExpire"); },
        [this](const std::string& message) { events_.push_back("error:" + message); });
  }
  bool settled() {
    return runUntil([this] { return !events_.empty() && events_.back().rfind("authExpire", 0) != 0; });
  }
  bool consoleMentions(const std::string& text) const {
    auto lines = consoleLines();
    return std::any_of(lines.begin(), lines.end(), [&](const auto& line) { return line.find(text) != std::string::npos; });
  }

  std::vector<std::string> events_;
};

TEST_F(LumoSdkTest, ArgumentsAreCheckedBeforeAnythingChanges) {
  init("", "");
  init(BackendSimulator::kDemoAppKey, "");
  EXPECT_EQ(events_, (std::vector<std::string>{"error:appKey未设置", "error:token未设置"}));
  EXPECT_EQ(LumoSdk::appKey(), "");
  EXPECT_EQ(LumoSdk::getCurrentEnvironment(), LumoEnvironment::production);
  EXPECT_TRUE(LumoSdk::debugMode());
  EXPECT_TRUE(backend_->requests().empty());

  EXPECT_FALSE(LumoSdk::checkInitialized());
  EXPECT_EQ(LumoSdk::getSdkConfig(), "");
  EXPECT_TRUE(consoleMentions("lumosdk 没有被初始化，请先调用 lumosdk.initSdk()"));
}

TEST_F(LumoSdkTest, RegistrationSignsTheRequestAndInitialisesOnce) {
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  EXPECT_EQ(events_, (std::vector<std::string>{"success"}));
  EXPECT_TRUE(LumoSdk::isInitializedFunc());
  EXPECT_EQ(LumoSdk::getSdkConfig(), "当前 SDK 版本: 0.0.2");
  EXPECT_FALSE(LumoSdk::debugMode());

  auto registrations = backend_->requestsTo("/oper_sdk/init");
  ASSERT_EQ(registrations.size(), 1u);
  const auto& body = registrations[0].json;
  EXPECT_EQ(body["app_key"], BackendSimulator::kDemoAppKey);
  EXPECT_EQ(body["ts"], "1767225600000.0");  // the virtual clock's start instant
  EXPECT_EQ(body["sign"], sim::BackendCrypto::md5Hex(platform::foundation::BundleInfo::main().identifier() +
                                                     "==1767225600000.0"));
  EXPECT_EQ(body["accessToken"], BackendSimulator::kDemoToken);
  EXPECT_EQ(backend_->world().registeredPublicKey(BackendSimulator::kDemoToken), body["k"].get<std::string>());
  ASSERT_TRUE(LumoSdk::shared().keyPair());
  EXPECT_EQ(lumo::NetworkUtil::privateKey().native(), LumoSdk::shared().keyPair()->privateKey.native());

  init("other-key", "other-token");  // already initialised: answered at once, nothing sent
  EXPECT_EQ(events_.back(), "success");
  EXPECT_EQ(events_.size(), 2u);
  EXPECT_EQ(LumoSdk::token(), BackendSimulator::kDemoToken);
  EXPECT_EQ(backend_->requests().size(), 1u);

  LumoSdk::updateAccessToken("");
  EXPECT_EQ(LumoSdk::token(), BackendSimulator::kDemoToken);
  backend_->world().addUser("fresh-token", "李四");
  LumoSdk::updateAccessToken("fresh-token");
  post("/oper_sdk/vehicle_info", {{"vin", BackendSimulator::kDemoVin}});
  EXPECT_EQ(backend_->requests().back().json["accessToken"], "fresh-token");

  LumoSdk::deInit();
  EXPECT_FALSE(LumoSdk::isInitializedFunc());
  EXPECT_TRUE(LumoSdk::debugMode());
  EXPECT_EQ(LumoSdk::token(), "");
  EXPECT_FALSE(LumoSdk::shared().keyPair());
  EXPECT_FALSE(lumo::NetworkUtil::privateKey()) << "the backend client let go of the key as well";
  EXPECT_EQ(LumoSdk::getCurrentEnvironment(), LumoEnvironment::development);
  EXPECT_EQ(LumoSdk::appKey(), BackendSimulator::kDemoAppKey);
}

// The registration's answer goes to the system log as a bounded prefix, never whole.
TEST_F(LumoSdkTest, ALargeRegistrationAnswerIsLoggedAsAPrefix) {
  backend_->queueReply("/oper_sdk/init", BackendReply::code(5, std::string(300'000, 'x')));
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  bool logged = false;
  for (const auto& [level, line] : systemLogLines()) {
    EXPECT_LE(line.size(), 600u);
    if (line.rfind(R"({"code":5,"msg":"xxx)", 0) == 0) {
      logged = true;
      EXPECT_NE(line.find("(300019 bytes)"), std::string::npos) << line.substr(line.size() - 40);
    }
  }
  EXPECT_TRUE(logged);
}

TEST_F(LumoSdkTest, AnExpiredTokenReachesTheHostAsAuthExpiryThenError) {
  init(BackendSimulator::kDemoAppKey, "unknown-token");
  ASSERT_TRUE(settled());
  EXPECT_EQ(events_, (std::vector<std::string>{"authExpire", "error:授权已过期"}));
  EXPECT_FALSE(LumoSdk::isInitializedFunc());
}

TEST_F(LumoSdkTest, TransportErrorsFailInitialisationAndApplicationErrorsComplete) {
  backend_->refuseConnections();
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  EXPECT_EQ(events_, (std::vector<std::string>{"error:未能连接到服务器。"}));
  EXPECT_FALSE(LumoSdk::isInitializedFunc());
  EXPECT_TRUE(consoleMentions("LumoSdk初始化失败: 未能连接到服务器。"));

  events_.clear();
  ASSERT_TRUE(backend_->acceptConnections());
  backend_->queueReply("/oper_sdk/init", BackendReply::code(5, "x"));
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  EXPECT_EQ(events_, (std::vector<std::string>{"success"}));
  EXPECT_TRUE(LumoSdk::isInitializedFunc());
  EXPECT_TRUE(consoleMentions("LumoSdk初始化成功，版本: 0.0.2"));
}

TEST_F(LumoSdkTest, DecryptedUserDataTravelsBackWithLogUploadsAndNoTokenIsStored) {
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  auto userInfo = lumo::logging::LoggerState::shared().userInfo();
  ASSERT_TRUE(userInfo.has_value()) << "the registration's encrypted data reached the logger";
  EXPECT_TRUE((*userInfo)["userId"].is_string());
  EXPECT_FALSE(userInfo->contains("str"));

  runFor(std::chrono::seconds(10));  // the first upload round
  auto uploads = backend_->world().logUploads();
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0]["user_Info"], *userInfo);
  ASSERT_FALSE(uploads[0]["logs"].empty());

  // Whatever was logged on the way, the user's token never reached the database file.
  lumo::LogUtil::i("after upload", std::string("lumosdk"));
  runFor(std::chrono::seconds(0));
  std::ifstream file(sandboxDir() / "Documents" / "lumo_logs.db", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::ifstream wal(sandboxDir() / "Documents" / "lumo_logs.db-wal", std::ios::binary);
  bytes.append((std::istreambuf_iterator<char>(wal)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.find(BackendSimulator::kDemoToken), std::string::npos);
}

TEST_F(LumoSdkTest, OnlyTheCurrentRegistrationsAnswerTakesEffect) {
  // Answered after deInit: the host hears nothing and the SDK stays uninitialised.
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  LumoSdk::deInit();
  ASSERT_TRUE(backend_->waitForRequests(1, std::chrono::seconds(10)));
  runFor(std::chrono::seconds(1));
  EXPECT_TRUE(events_.empty());
  EXPECT_FALSE(LumoSdk::isInitializedFunc());
  EXPECT_FALSE(lumo::logging::LoggerState::shared().userInfo().has_value());

  // A first registration answered after a second one started: only the second counts, and
  // the user data stays the second one's, decrypted.
  backend_->queueReply("/oper_sdk/init", BackendReply::service().after(std::chrono::milliseconds(500)));
  std::vector<std::string> first;
  LumoSdk::initSdk(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken, LumoEnvironment::development, false,
                   [&] { first.push_back("success"); }, [&] { first.push_back("authExpire"); },
                   [&](const std::string& message) { first.push_back("error:" + message); });
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  ASSERT_TRUE(backend_->waitForRequests(3, std::chrono::seconds(10)));
  runFor(std::chrono::seconds(2));
  EXPECT_EQ(backend_->unusedReplies(), 0u);
  EXPECT_EQ(events_, (std::vector<std::string>{"success"}));
  EXPECT_TRUE(first.empty());
  EXPECT_TRUE(LumoSdk::isInitializedFunc());
  auto userInfo = lumo::logging::LoggerState::shared().userInfo();
  ASSERT_TRUE(userInfo.has_value());
  EXPECT_FALSE(userInfo->contains("str"));
  EXPECT_TRUE((*userInfo)["userId"].is_string());
}

TEST_F(LumoSdkTest, LogsFollowTheEnvironmentOfTheLatestInitialisation) {
  auto other = BackendSimulator::start();
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(other->trustInPlatform());
  other->seedDemoWorld();
  backend_->refuseConnections();
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  EXPECT_FALSE(LumoSdk::isInitializedFunc());

  // The host retries against another backend.
  ASSERT_TRUE(LumoSdk::setDevelopmentBackend(other->baseUrl()));
  events_.clear();
  init(BackendSimulator::kDemoAppKey, BackendSimulator::kDemoToken);
  ASSERT_TRUE(settled());
  ASSERT_TRUE(LumoSdk::isInitializedFunc());
  runFor(std::chrono::seconds(10));
  EXPECT_EQ(other->world().logUploads().size(), 1u);
  ASSERT_TRUE(backend_->acceptConnections());
  lumo::LogUtil::i("later record", std::string("lumosdk"));
  runFor(std::chrono::seconds(60));
  EXPECT_TRUE(backend_->requestsTo("/app_log/save").empty());
  auto uploads = other->world().logUploads();
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(uploads[1]["logs"][0]["message"], "later record");
}

}  // namespace
