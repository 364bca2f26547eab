#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lumosdk/LumoSdk.h"
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
using sim::BackendSimulator;
using namespace std::chrono_literals;

// A development backend is named with its own CA, which is never trusted for other hosts; only
// a development build lets the environment name it. No build sends traffic through a proxy
// nobody asked for or writes TLS secrets to a file.
class EnvironmentOverridesTest : public lumo::test::VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    TrustStore::resetForTesting();
    lumo::LumoSdk::resetForTesting();
    backend_ = BackendSimulator::start();
    ASSERT_NE(backend_, nullptr);
  }
  void TearDown() override {
    for (const char* name : {"LUMO_TRUSTED_CA_FILE", "LUMO_DEV_BASE_URL", "https_proxy", "HTTPS_PROXY", "ALL_PROXY",
                             "SSLKEYLOGFILE"}) {
      ::unsetenv(name);
    }
    lumo::LumoSdk::resetForTesting();
    TrustStore::resetForTesting();
    VirtualTimeTest::TearDown();
  }

  // Whether a GET reached the server; the error's code otherwise.
  std::optional<int> failureOf(const std::string& url) {
    lumo::test::TransferProbe probe;
    UrlSession::shared().dataTask(UrlRequest(*Url::parse(url)), probe.completion());
    EXPECT_TRUE(runUntil([&] { return probe.done(); }, 60s));
    if (probe.response()) return std::nullopt;
    detail_ = probe.error() ? probe.error()->detail : "no answer";
    return probe.error() ? probe.error()->code : UrlError::unknown;
  }
  std::string detail_;

  std::unique_ptr<BackendSimulator> backend_;
};

std::size_t linesNaming(const std::vector<std::pair<platform::foundation::SystemLog::Level, std::string>>& lines,
                        const std::string& text) {
  std::size_t count = 0;
  for (const auto& [level, line] : lines) count += line.find(text) != std::string::npos;
  return count;
}

TEST_F(EnvironmentOverridesTest, ANamedDevelopmentBackendsCaIsTrustedOnlyForItsHost) {
  const std::string port = std::to_string(backend_->port());
  const std::string localhost = "https://localhost:" + port;
  ASSERT_TRUE(lumo::LumoSdk::setDevelopmentBackend(localhost + "/", backend_->certificatePath().string()));
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), localhost);
  EXPECT_EQ(failureOf(localhost + "/x"), std::nullopt) << "the development host: " << detail_;
  EXPECT_EQ(failureOf("https://127.0.0.1:" + port + "/x"), UrlError::serverCertificateUntrusted)
      << "the same certificate under another name is not the development host";
  EXPECT_EQ(linesNaming(systemLogLines(), "trusted for localhost only"), 1u) << "said once";

  // Refusals change nothing: the token never goes out in clear, and a file without a
  // certificate trusts nobody.
  EXPECT_FALSE(lumo::LumoSdk::setDevelopmentBackend("http://127.0.0.1:" + port));
  const auto notPem = sandboxDir() / "not.pem";
  std::ofstream(notPem) << "hello";
  EXPECT_FALSE(lumo::LumoSdk::setDevelopmentBackend("https://127.0.0.1:" + port, notPem.string()));
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), localhost);
  EXPECT_EQ(failureOf(localhost + "/x"), std::nullopt) << detail_;
  EXPECT_EQ(linesNaming(systemLogLines(), "development backend refused"), 2u);

  // Another development backend takes the trust with it.
  ASSERT_TRUE(lumo::LumoSdk::setDevelopmentBackend("https://127.0.0.1:" + port));
  EXPECT_EQ(failureOf(localhost + "/x"), UrlError::serverCertificateUntrusted);
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::production).rfind("https://oper-api", 0), 0u);

  // The platform's own call trusts a certificate for every host, as a device owner's profile does.
  ASSERT_TRUE(backend_->trustInPlatform());
  EXPECT_EQ(failureOf("https://127.0.0.1:" + port + "/x"), std::nullopt) << detail_;
}

// A development build reads the overrides once, at the first development request, unless the
// host named a backend; a release build never reads them.
TEST_F(EnvironmentOverridesTest, TheEnvironmentRedirectsOnlyADevelopmentBuild) {
  const std::string localhost = "https://localhost:" + std::to_string(backend_->port());
  ::setenv("LUMO_TRUSTED_CA_FILE", backend_->certificatePath().c_str(), 1);
  ::setenv("LUMO_DEV_BASE_URL", (localhost + "/").c_str(), 1);
  const std::string base = lumo::lumoBaseUrl(lumo::LumoEnvironment::development);
  const auto untrusted = failureOf(localhost + "/x");
  const std::size_t warnings = linesNaming(systemLogLines(), "LUMO_TRUSTED_CA_FILE");
#if LUMO_DEVELOPMENT_OVERRIDES
  EXPECT_EQ(base, localhost);
  EXPECT_EQ(untrusted, std::nullopt) << detail_;
  EXPECT_EQ(warnings, 1u) << "one warning while the override is active";
  ::setenv("LUMO_DEV_BASE_URL", "https://192.0.2.7", 1);
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), localhost) << "read once";

  lumo::LumoSdk::resetForTesting();
  ::setenv("LUMO_DEV_BASE_URL", "http://localhost:9", 1);
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), "https://127.0.0.1:18443") << "never in clear";
  EXPECT_EQ(linesNaming(systemLogLines(), "refused, not an https URL: http://localhost:9"), 1u);
#else
  EXPECT_EQ(base, "https://127.0.0.1:18443");
  EXPECT_EQ(untrusted, UrlError::serverCertificateUntrusted);
  EXPECT_EQ(warnings, 0u);
#endif
  // The host's own naming wins over the environment.
  lumo::LumoSdk::resetForTesting();
  ::setenv("LUMO_DEV_BASE_URL", "https://192.0.2.7", 1);
  ASSERT_TRUE(lumo::LumoSdk::setDevelopmentBackend("https://127.0.0.1:1"));
  EXPECT_EQ(lumo::lumoBaseUrl(lumo::LumoEnvironment::development), "https://127.0.0.1:1");
}

TEST_F(EnvironmentOverridesTest, ProxyAndKeyLogVariablesAreIgnored) {
  ASSERT_TRUE(backend_->trustInPlatform());
  const std::string dead = "http://127.0.0.1:9";  // discard port: nothing listens
  for (const char* name : {"https_proxy", "HTTPS_PROXY", "ALL_PROXY"}) ::setenv(name, dead.c_str(), 1);
  const auto keyLog = sandboxDir() / "keys.log";
  ::setenv("SSLKEYLOGFILE", keyLog.c_str(), 1);
  EXPECT_EQ(failureOf(backend_->baseUrl() + "/x"), std::nullopt) << detail_;
  EXPECT_FALSE(std::filesystem::exists(keyLog) && std::filesystem::file_size(keyLog) > 0)
      << "no TLS secrets written";
}

}  // namespace
