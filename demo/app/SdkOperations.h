#pragma once

#include <string>

namespace demo {

// The vehicle operations the form's buttons call, with the VIN exactly as typed (the SDK
// checks it and explains an empty one).
struct SdkOperations {
  static void openControlPage(const std::string& vin);
  static void openDetailPage(const std::string& vin);
  static void openCabinet(const std::string& vin);
};

}  // namespace demo
