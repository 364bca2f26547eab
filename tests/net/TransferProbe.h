#pragma once

#include <mutex>
#include <optional>
#include <thread>

#include "platform/net/UrlSession.h"

namespace lumo::test {

// Collects one URL session completion from whatever thread delivers it.
class TransferProbe {
 public:
  platform::net::UrlSession::Completion completion() {
    return [this](std::optional<platform::net::UrlResponse> response, std::optional<platform::net::UrlError> error) {
      std::lock_guard lock(mutex_);
      response_ = std::move(response);
      error_ = std::move(error);
      thread_ = std::this_thread::get_id();
      ++calls_;
    };
  }
  bool done() const {
    std::lock_guard lock(mutex_);
    return calls_ > 0;
  }
  int calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::optional<platform::net::UrlResponse> response() const {
    std::lock_guard lock(mutex_);
    return response_;
  }
  std::optional<platform::net::UrlError> error() const {
    std::lock_guard lock(mutex_);
    return error_;
  }
  std::thread::id thread() const {
    std::lock_guard lock(mutex_);
    return thread_;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<platform::net::UrlResponse> response_;
  std::optional<platform::net::UrlError> error_;
  std::thread::id thread_;
  int calls_ = 0;
};

}  // namespace lumo::test
