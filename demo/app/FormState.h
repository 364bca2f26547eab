#pragma once

#include <string>

#include "demo/app/DemoDefaults.h"

namespace demo {

// What one form screen shows and edits; each form screen holds its own.
struct FormState {
  std::string appKey = DemoDefaults::kAppKey;
  std::string userToken = DemoDefaults::kUserToken;
  std::string vin = DemoDefaults::kVin;
  std::string sdkStatus = "未初始化";
  bool showAlert = false;
  std::string alertMsg;
};

}  // namespace demo
