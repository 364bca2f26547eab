#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

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

// The environment may point the SDK at a development backend, but it never widens trust for
// other hosts, never sends traffic through a proxy nobody asked for, and never writes TLS
// secrets to a file.
class EnvironmentOverridesTest : public lumo::test::VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    TrustStore::resetForTesting();
    backend_ = BackendSimulator::start();
    ASSERT_NE(backend_, nullptr);
  }
  void TearDown() override {
    for (const char* name : {"LUMO_TRUSTED_CA_FILE", "LUMO_DEV_BASE_URL", "https_proxy", "HTTPS_PROXY", "ALL_PROXY",
                             "SSLKEYLOGFILE"}) {
      ::unsetenv(name);
    }
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

TEST_F(EnvironmentOverridesTest, AnExtraCaFromTheEnvironmentIsTrustedOnlyForTheDevelopmentHost) {
  const std::string port = std::to_string(backend_->port());
  ::setenv("LUMO_TRUSTED_CA_FILE", backend_->certificatePath().c_str(), 1);
  ::setenv("LUMO_DEV_BASE_URL", ("https://localhost:" + port).c_str(), 1);
  EXPECT_EQ(failureOf("https://localhost:" + port + "/x"), std::nullopt) << "the development host: " << detail_;
  EXPECT_EQ(failureOf("https://127.0.0.1:" + port + "/x"), UrlError::serverCertificateUntrusted)
      << "the same certificate under another name is not the development host";
  std::size_t warnings = 0;
  for (const auto& [level, line] : systemLogLines()) warnings += line.find("LUMO_TRUSTED_CA_FILE") != std::string::npos;
  EXPECT_EQ(warnings, 1u) << "one warning while the override is active";

  // The public call trusts a certificate for every host, as a device owner's profile does.
  ASSERT_TRUE(backend_->trustInPlatform());
  EXPECT_EQ(failureOf("https://127.0.0.1:" + port + "/x"), std::nullopt) << detail_;
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
