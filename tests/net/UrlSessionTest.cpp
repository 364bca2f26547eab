#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <vector>

#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/net/TrustStore.h"
#include "platform/net/Url.h"
#include "platform/net/UrlSession.h"
#include "sim/backend/BackendSimulator.h"
#include "tests/net/TransferProbe.h"
#include "tests/support/VirtualTimeTest.h"

namespace {

using platform::net::TrustStore;
using platform::net::Url;
using platform::net::UrlError;
using platform::net::UrlRequest;
using platform::net::UrlSession;
using sim::BackendReply;
using sim::BackendSimulator;
using namespace std::chrono_literals;

class UrlSessionTest : public lumo::test::VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    TrustStore::resetForTesting();
    backend_ = BackendSimulator::start();
    ASSERT_NE(backend_, nullptr);
    ASSERT_TRUE(backend_->trustInPlatform());
  }

  UrlRequest post(const std::string& path, const std::string& body) {
    UrlRequest request(*Url::parse(backend_->baseUrl() + path));
    request.method = "POST";
    request.body = body;
    request.setHeader("Content-Type", "application/json");
    return request;
  }

  // Sends and drives the main loop until the completion ran.
  void send(UrlSession& session, UrlRequest request, lumo::test::TransferProbe& probe) {
    session.dataTask(std::move(request), probe.completion());
    ASSERT_TRUE(runUntil([&] { return probe.done(); }, 60s));
  }

  std::unique_ptr<BackendSimulator> backend_;
};

TEST_F(UrlSessionTest, PostsOverHttpsAndDeliversEveryStatusAsAResponse) {
  lumo::test::TransferProbe ok;
  UrlRequest request = post("/echo-free-path", R"({"k":"v"})");
  request.setHeader("X-Probe", "1");
  request.setHeader("x-probe", "2");  // replaces, names compare without case
  send(UrlSession::shared(), std::move(request), ok);
  ASSERT_TRUE(ok.response());
  EXPECT_FALSE(ok.error());
  EXPECT_EQ(ok.response()->statusCode, 404);
  EXPECT_NE(ok.response()->body.find("接口不存在"), std::string::npos);
  EXPECT_NE(ok.thread(), std::this_thread::get_id());  // completion is off the main thread

  auto recorded = backend_->requests();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "POST");
  EXPECT_EQ(recorded[0].body, R"({"k":"v"})");
  EXPECT_EQ(recorded[0].header("x-probe"), "2");
  EXPECT_EQ(recorded[0].header("expect"), "");

  backend_->queueReply("/any", BackendReply::envelopeWith({{"code", 3}}, 500));
  lumo::test::TransferProbe serverError;
  send(UrlSession::shared(), post("/any", "{}"), serverError);
  ASSERT_TRUE(serverError.response());
  EXPECT_EQ(serverError.response()->statusCode, 500);
  EXPECT_EQ(serverError.response()->body, R"({"code":3})");
  EXPECT_EQ(backend_->unusedReplies(), 0u);
}

TEST_F(UrlSessionTest, AResponderAnswersInsideTheProcessUntilItIsRemoved) {
  std::vector<std::string> seen;
  UrlSession::setResponder([&seen](const UrlRequest& request) -> std::optional<platform::net::UrlResponse> {
    seen.push_back(request.method + " " + request.url.text() + " " + request.body);
    if (request.body == "fail") return std::nullopt;
    if (request.body == "long") return platform::net::UrlResponse{200, std::string(request.maximumResponseBytes + 1, 'x')};
    return platform::net::UrlResponse{201, "answered"};
  });
  lumo::test::TransferProbe answered;
  send(UrlSession::shared(), post("/app_log/save", "{}"), answered);
  ASSERT_TRUE(answered.response());
  EXPECT_EQ(answered.response()->statusCode, 201);
  EXPECT_EQ(answered.response()->body, "answered");
  EXPECT_NE(answered.thread(), std::this_thread::get_id());  // still on the completion thread
  lumo::test::TransferProbe failed;
  send(UrlSession::shared(), post("/app_log/save", "fail"), failed);
  EXPECT_TRUE(failed.error());
  EXPECT_FALSE(failed.response());
  lumo::test::TransferProbe tooLong;
  UrlRequest longRequest = post("/app_log/save", "long");
  longRequest.maximumResponseBytes = 16;
  send(UrlSession::shared(), std::move(longRequest), tooLong);
  ASSERT_TRUE(tooLong.error());
  EXPECT_EQ(tooLong.error()->code, platform::net::UrlError::dataLengthExceedsMaximum);
  EXPECT_FALSE(tooLong.response());
  EXPECT_EQ(seen, (std::vector<std::string>{"POST " + backend_->baseUrl() + "/app_log/save {}",
                                            "POST " + backend_->baseUrl() + "/app_log/save fail",
                                            "POST " + backend_->baseUrl() + "/app_log/save long"}));
  EXPECT_TRUE(backend_->requests().empty());  // nothing went over the network

  UrlSession::setResponder(nullptr);
  lumo::test::TransferProbe network;
  send(UrlSession::shared(), post("/app_log/save", "{}"), network);
  ASSERT_TRUE(network.response());
  EXPECT_EQ(backend_->requests().size(), 1u);
  EXPECT_EQ(seen.size(), 3u);
}

TEST_F(UrlSessionTest, ReusesTheConnectionForLaterRequests) {
  for (int i = 0; i < 4; ++i) {
    lumo::test::TransferProbe probe;
    send(UrlSession::shared(), post("/app_log/save", "{}"), probe);
    ASSERT_TRUE(probe.response());
  }
  auto recorded = backend_->requests();
  ASSERT_EQ(recorded.size(), 4u);
  for (const auto& request : recorded) EXPECT_EQ(request.remotePort, recorded[0].remotePort);
}

TEST_F(UrlSessionTest, TransferCountsAsWorkInFlightSoVirtualTimeWaitsForIt) {
  backend_->setDelay(50ms);
  auto start = platform::dispatch::Scheduler::clock().now();
  lumo::test::TransferProbe probe;
  UrlSession::shared().dataTask(post("/app_log/save", "{}"), probe.completion());
  // Were the transfer not in flight, the loop would jump straight to the 10 s limit.
  ASSERT_TRUE(runUntil([&] { return probe.done(); }, 10s));
  EXPECT_EQ(platform::dispatch::Scheduler::clock().now(), start);
  EXPECT_TRUE(probe.response());
}

TEST_F(UrlSessionTest, TransportFailuresArriveAsErrorsWithDescriptions) {
  backend_->queueReply("/drop", BackendReply::drop());
  lumo::test::TransferProbe dropped;
  send(UrlSession::shared(), post("/drop", "{}"), dropped);
  ASSERT_TRUE(dropped.error());
  EXPECT_FALSE(dropped.response());
  EXPECT_EQ(dropped.error()->code, UrlError::networkConnectionLost);
  EXPECT_EQ(dropped.error()->localizedDescription, "网络连接已中断。");

  backend_->queueReply("/slow", BackendReply::code(0).after(30s));
  lumo::test::TransferProbe slow;
  UrlRequest request = post("/slow", "{}");
  request.timeout = 200ms;
  send(UrlSession::shared(), std::move(request), slow);
  ASSERT_TRUE(slow.error());
  EXPECT_EQ(slow.error()->code, UrlError::timedOut);
  EXPECT_EQ(slow.error()->localizedDescription, "请求超时。");

  backend_->refuseConnections();
  lumo::test::TransferProbe refused;
  send(UrlSession::shared(), post("/app_log/save", "{}"), refused);
  ASSERT_TRUE(refused.error());
  EXPECT_EQ(refused.error()->code, UrlError::cannotConnectToHost);
  EXPECT_EQ(refused.error()->localizedDescription, "未能连接到服务器。");
  EXPECT_FALSE(refused.error()->detail.empty());

  ASSERT_TRUE(backend_->acceptConnections());
  lumo::test::TransferProbe back;
  send(UrlSession::shared(), post("/app_log/save", "{}"), back);
  EXPECT_TRUE(back.response());
}

TEST_F(UrlSessionTest, AnIdleLimitLetsSlowTransfersFinishAndEndsStalledOnes) {
  // Longer than the idle limit in total, but never silent for long: it completes.
  backend_->queueReply("/slow-link", BackendReply::code(0).trickled(3s));
  lumo::test::TransferProbe slow;
  UrlRequest request = post("/slow-link", "{}");
  request.timeout = 0s;
  request.connectTimeout = 5s;
  request.idleTimeout = 2s;
  send(UrlSession::shared(), std::move(request), slow);
  ASSERT_TRUE(slow.response()) << slow.error()->detail;
  EXPECT_EQ(slow.response()->body, R"({"code":0})");

  backend_->queueReply("/stalled", BackendReply::code(0).after(30s));
  lumo::test::TransferProbe stalled;
  UrlRequest silent = post("/stalled", "{}");
  silent.timeout = 0s;
  silent.idleTimeout = 1s;
  send(UrlSession::shared(), std::move(silent), stalled);
  ASSERT_TRUE(stalled.error());
  EXPECT_EQ(stalled.error()->code, UrlError::timedOut);
}

TEST_F(UrlSessionTest, CertificatesAreVerifiedAgainstTheTrustStore) {
  auto untrusted = BackendSimulator::start();
  ASSERT_NE(untrusted, nullptr);
  lumo::test::TransferProbe rejected;
  send(UrlSession::shared(), UrlRequest(*Url::parse(untrusted->baseUrl() + "/x")), rejected);
  ASSERT_TRUE(rejected.error());
  EXPECT_EQ(rejected.error()->code, UrlError::serverCertificateUntrusted);
  EXPECT_EQ(untrusted->requests().size(), 0u);

  // Trusted, but made for another name than the one dialled.
  BackendSimulator::Options options;
  options.certificateNames = {"localhost"};
  auto wrongName = BackendSimulator::start(options);
  ASSERT_NE(wrongName, nullptr);
  ASSERT_TRUE(wrongName->trustInPlatform());
  lumo::test::TransferProbe mismatch;
  send(UrlSession::shared(), UrlRequest(*Url::parse(wrongName->baseUrl() + "/x")), mismatch);
  ASSERT_TRUE(mismatch.error());
  EXPECT_EQ(mismatch.error()->code, UrlError::serverCertificateUntrusted);
  lumo::test::TransferProbe byName;
  send(UrlSession::shared(),
       UrlRequest(*Url::parse("https://localhost:" + std::to_string(wrongName->port()) + "/x")), byName);
  EXPECT_TRUE(byName.response());

  ASSERT_TRUE(untrusted->trustInPlatform());
  lumo::test::TransferProbe accepted;
  send(UrlSession::shared(), UrlRequest(*Url::parse(untrusted->baseUrl() + "/x")), accepted);
  EXPECT_TRUE(accepted.response());

  std::string notPem = (sandboxDir() / "not.pem").string();
  std::ofstream(notPem) << "hello";
  EXPECT_FALSE(TrustStore::addTrustedCertificateFile(notPem));
  EXPECT_FALSE(TrustStore::addTrustedCertificateFile((sandboxDir() / "missing.pem").string()));
}

TEST_F(UrlSessionTest, OnlyAbsoluteUrlsParse) {
  auto url = Url::parse("https://127.0.0.1:8443/oper_sdk/init");
  ASSERT_TRUE(url);
  EXPECT_EQ(url->scheme(), "https");
  EXPECT_EQ(url->host(), "127.0.0.1");
  for (const char* bad : {"", "not a url", "oper_sdk/init", "https://", "ht tp://x", "https://exa mple.com/"}) {
    EXPECT_FALSE(Url::parse(bad)) << bad;
  }

  lumo::test::TransferProbe unsupported;
  send(UrlSession::shared(), UrlRequest(*Url::parse("gopher://127.0.0.1/x")), unsupported);
  ASSERT_TRUE(unsupported.error());
  EXPECT_EQ(unsupported.error()->code, UrlError::unsupportedUrl);
}

TEST_F(UrlSessionTest, ConcurrentTransfersAllComplete) {
  backend_->setDelay(5ms);
  std::vector<lumo::test::TransferProbe> probes(12);
  for (auto& probe : probes) UrlSession::shared().dataTask(post("/app_log/save", "{}"), probe.completion());
  ASSERT_TRUE(runUntil(
      [&] {
        for (const auto& probe : probes) {
          if (!probe.done()) return false;
        }
        return true;
      },
      60s));
  for (const auto& probe : probes) {
    EXPECT_EQ(probe.calls(), 1);
    EXPECT_TRUE(probe.response());
  }
  EXPECT_EQ(backend_->requests().size(), probes.size());
}

TEST_F(UrlSessionTest, ClosingASessionCancelsItsTransfers) {
  backend_->queueReply("/slow", BackendReply::code(0).after(30s));
  auto session = UrlSession::create();
  lumo::test::TransferProbe probe;
  session->dataTask(post("/slow", "{}"), probe.completion());
  ASSERT_TRUE(backend_->waitForRequests(1, 60s));
  session.reset();
  ASSERT_TRUE(probe.done());
  ASSERT_TRUE(probe.error());
  EXPECT_EQ(probe.error()->code, UrlError::cancelled);
}

}  // namespace
