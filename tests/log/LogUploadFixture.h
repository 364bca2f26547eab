#pragma once

#include <stdlib.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "sim/backend/BackendSimulator.h"
#include "tests/log/LogTestSupport.h"

namespace lumo::test {

// A logger in a private sandbox that uploads to a backend simulator on loopback; times are
// formatted in UTC so uploaded timestamps can be compared as text.
class LogUploadFixture : public LogTest {
 protected:
  static constexpr const char* kToken = "upload-token";
  static constexpr const char* kSavePath = "/app_log/save";

  void SetUp() override {
    LogTest::SetUp();
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    backend_ = sim::BackendSimulator::start();
    ASSERT_TRUE(backend_);
    ASSERT_TRUE(backend_->trustInPlatform());
    backend_->world().addUser(kToken, "uploader");
    NetworkUtil::setAccessTokenSource([] { return std::string(kToken); });
  }

  void TearDown() override {
    LogTest::TearDown();
    NetworkUtil::setAccessTokenSource(nullptr);
    backend_.reset();
  }

  void startLogger() {
    LogUtil::initialize(backend_->baseUrl() + kSavePath);
    settle();
    ASSERT_NE(logging::LoggerState::shared().db, nullptr);
  }

  void insertRow(const std::string& message, std::int64_t timestamp) {
    execute("INSERT INTO logs (priority, tag, message, timestamp) VALUES (5, 'row', '" + message + "', " +
            std::to_string(timestamp) + ")");
  }

  std::vector<nlohmann::json> uploads() const {
    std::vector<nlohmann::json> bodies;
    for (const auto& request : backend_->requestsTo(kSavePath)) bodies.push_back(request.json);
    return bodies;
  }

  // Every message the backend received, in arrival order, over all uploads.
  std::vector<std::string> uploadedMessages() const {
    std::vector<std::string> messages;
    for (const auto& body : uploads()) {
      if (!body.is_object() || !body["logs"].is_array()) continue;
      for (const auto& log : body["logs"]) messages.push_back(log["message"].get<std::string>());
    }
    return messages;
  }

  std::unique_ptr<sim::BackendSimulator> backend_;
};

}  // namespace lumo::test
