#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lumosdk/utils/NetworkUtil.h"
#include "sim/backend/BackendSimulator.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

// Where a NetworkUtil callback ran and what it got.
struct Delivery {
  NetworkUtil::Result result = NetworkUtil::Result::failure(NetworkError::message("none"));
  bool onMainThread = false;
  bool onCompletionThread = false;
};

// A backend simulator on loopback whose certificate the platform trusts, with the demo world
// (app, user, vehicles), and a NetworkUtil reading the demo user's token.
class NetworkUtilFixture : public VirtualTimeTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string url(const std::string& path) const { return backend_->baseUrl() + path; }
  NetworkUtil::Callback record();
  // Foreground or background post, driven until its callback ran.
  Delivery post(const std::string& path, nlohmann::json params, bool showLoading = false,
                std::optional<std::string> loadingText = std::nullopt);
  Delivery postBackground(const std::string& path, nlohmann::json params);
  std::vector<Delivery> deliveries() const;
  int authExpiredCalls() const;

  std::unique_ptr<sim::BackendSimulator> backend_;
  std::string token_ = sim::BackendSimulator::kDemoToken;
  std::vector<std::string> overlayEvents_;

 private:
  Delivery waitForDelivery(std::size_t before);

  mutable std::mutex mutex_;
  std::vector<Delivery> deliveries_;
  int authExpired_ = 0;
};

}  // namespace lumo::test
