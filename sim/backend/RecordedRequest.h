#pragma once

#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace sim {

// One request as the backend simulator received it, kept for tests to inspect.
struct RecordedRequest {
  std::string method;
  std::string path;
  // Header names in lower case.
  std::map<std::string, std::string> headers;
  std::string body;
  // The parsed body, or null when it is not JSON.
  nlohmann::json json;
  double wallMillis = 0;
  // The client's port: equal ports on consecutive requests mean a reused connection.
  int remotePort = 0;

  // The header's value, or empty text when absent.
  std::string header(const std::string& name) const;
};

}  // namespace sim
