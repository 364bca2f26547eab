#include "tests/backend/NetworkUtilFixture.h"

#include "platform/dispatch/MainLoop.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/net/TrustStore.h"
#include "platform/net/UrlSession.h"

namespace lumo::test {

void NetworkUtilFixture::SetUp() {
  VirtualTimeTest::SetUp();
  platform::net::TrustStore::resetForTesting();
  platform::foundation::BundleInfo::main().resetForTesting();
  NetworkUtil::resetForTesting();
  backend_ = sim::BackendSimulator::start();
  ASSERT_NE(backend_, nullptr);
  ASSERT_TRUE(backend_->trustInPlatform());
  backend_->seedDemoWorld();
  NetworkUtil::setAccessTokenSource([this] { return token_; });
  NetworkUtil::setAuthExpireHandler([this] {
    std::lock_guard lock(mutex_);
    ++authExpired_;
  });
  NetworkUtil::setLoadingOverlay(
      [this](const std::string& message) {
        overlayEvents_.push_back((platform::dispatch::MainLoop::isMainThread() ? "show:" : "show off main:") + message);
      },
      [this] {
        overlayEvents_.push_back(platform::dispatch::MainLoop::isMainThread() ? "dismiss" : "dismiss off main");
      });
}

void NetworkUtilFixture::TearDown() {
  NetworkUtil::resetForTesting();
  backend_.reset();
  VirtualTimeTest::TearDown();
}

NetworkUtil::Callback NetworkUtilFixture::record() {
  return [this](const NetworkUtil::Result& result) {
    Delivery delivery;
    delivery.result = result;
    delivery.onMainThread = platform::dispatch::MainLoop::isMainThread();
    delivery.onCompletionThread = platform::net::UrlSession::shared().isCompletionThread();
    if (delivery.onMainThread) overlayEvents_.push_back("callback");
    std::lock_guard lock(mutex_);
    deliveries_.push_back(std::move(delivery));
  };
}

Delivery NetworkUtilFixture::waitForDelivery(std::size_t before) {
  bool arrived = runUntil([&] { return deliveries().size() > before; });
  EXPECT_TRUE(arrived);
  if (!arrived) return Delivery{};
  return deliveries().at(before);
}

Delivery NetworkUtilFixture::post(const std::string& path, nlohmann::json params, bool showLoading,
                                  std::optional<std::string> loadingText) {
  std::size_t before = deliveries().size();
  NetworkUtil::post(nullptr, url(path), std::move(params), showLoading, std::move(loadingText), record());
  return waitForDelivery(before);
}

Delivery NetworkUtilFixture::postBackground(const std::string& path, nlohmann::json params) {
  std::size_t before = deliveries().size();
  NetworkUtil::postBackground(url(path), std::move(params), record());
  return waitForDelivery(before);
}

std::vector<Delivery> NetworkUtilFixture::deliveries() const {
  std::lock_guard lock(mutex_);
  return deliveries_;
}

int NetworkUtilFixture::authExpiredCalls() const {
  std::lock_guard lock(mutex_);
  return authExpired_;
}

}  // namespace lumo::test
