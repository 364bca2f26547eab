#pragma once

#include <functional>
#include <string>

#include "lumosdk/LumoSdk.h"

namespace lumo {

// The adapter that carries a host's three optional initialisation callbacks; each forwards
// to its closure. initSdk builds it with closures that do nothing for a callback the host
// did not give.
class LumoInitCallbackImpl : public LumoSdk::InitCallback {
 public:
  LumoInitCallbackImpl(std::function<void()> onSuccess, std::function<void()> onAuthExpire,
                       std::function<void(const std::string&)> onError)
      : onSuccessHandler(std::move(onSuccess)),
        onAuthExpireHandler(std::move(onAuthExpire)),
        onErrorHandler(std::move(onError)) {}

  void onSuccess() override {
    if (onSuccessHandler) onSuccessHandler();
  }
  void onAuthExpire() override {
    if (onAuthExpireHandler) onAuthExpireHandler();
  }
  void onError(const std::string& message) override {
    if (onErrorHandler) onErrorHandler(message);
  }

  std::function<void()> onSuccessHandler;
  std::function<void()> onAuthExpireHandler;
  std::function<void(const std::string&)> onErrorHandler;
};

}  // namespace lumo
