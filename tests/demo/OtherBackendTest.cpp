#include "platform/net/TrustStore.h"
#include "tests/demo/DemoAppTest.h"

namespace lumo::test {
namespace {

// The demo pointed at a backend in another place (here: a second simulator on loopback that
// the embedded world knows nothing of), trusted only through the CA file it was given.
class OtherBackendTest : public DemoAppTest {
 protected:
  demo::DemoWorld::Started startWorld() override {
    other = sim::BackendSimulator::start();
    if (!other) return {nullptr, "no other backend"};
    other->seedDemoWorld();
    return demo::DemoWorld::connectTo(other->baseUrl() + "/", other->certificatePath().string());
  }
  std::unique_ptr<sim::BackendSimulator> other;
};

TEST_F(OtherBackendTest, InitialisesAgainstTheGivenBackendThroughItsCertificate) {
  EXPECT_EQ(world->baseUrl(), other->baseUrl());
  EXPECT_EQ(world->backend(), nullptr);
  auto first = form();
  ASSERT_TRUE(tap("初始化SDK"));
  ASSERT_TRUE(runUntil([&] { return first->state().sdkStatus != "未初始化"; }));
  EXPECT_EQ(first->state().sdkStatus, "初始化成功") << first->state().alertMsg;
  EXPECT_EQ(other->requestsTo("/oper_sdk/init").size(), 1u);
}

TEST_F(OtherBackendTest, RefusesPlainHttpAndUnreadableCertificates) {
  auto plain = demo::DemoWorld::connectTo("http://127.0.0.1:18443", std::nullopt);
  EXPECT_FALSE(plain.world);
  EXPECT_EQ(plain.error, "the backend URL must start with https:// (got \"http://127.0.0.1:18443\")");
  auto missing = demo::DemoWorld::connectTo("https://127.0.0.1:18443", sandboxDir().string() + "/none.pem");
  EXPECT_FALSE(missing.world);
  EXPECT_EQ(missing.error, "cannot read a PEM certificate from " + sandboxDir().string() + "/none.pem");
}

// Without the CA the other backend's self-signed certificate is not trusted: the
// registration fails instead of silently skipping verification.
class UntrustedBackendTest : public OtherBackendTest {
 protected:
  demo::DemoWorld::Started startWorld() override {
    other = sim::BackendSimulator::start();
    if (!other) return {nullptr, "no other backend"};
    other->seedDemoWorld();
    return demo::DemoWorld::connectTo(other->baseUrl(), std::nullopt);
  }
};

TEST_F(UntrustedBackendTest, AnUntrustedCertificateFailsTheRegistration) {
  auto first = form();
  ASSERT_TRUE(tap("初始化SDK"));
  ASSERT_TRUE(runUntil([&] { return first->state().sdkStatus != "未初始化"; }));
  EXPECT_EQ(first->state().sdkStatus, "初始化失败");
  EXPECT_TRUE(other->requestsTo("/oper_sdk/init").empty());
}

}  // namespace
}  // namespace lumo::test
