#include "sim/backend/RecordedRequest.h"

namespace sim {

std::string RecordedRequest::header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

}  // namespace sim
