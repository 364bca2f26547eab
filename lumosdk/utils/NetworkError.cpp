#include "lumosdk/utils/NetworkError.h"

namespace lumo {

NetworkError NetworkError::message(std::string text) { return NetworkError(Kind::message, 0, std::move(text)); }

NetworkError NetworkError::code(int number, std::string text) {
  return NetworkError(Kind::code, number, std::move(text));
}

std::optional<int> NetworkError::number() const {
  if (kind_ == Kind::code) return number_;
  return std::nullopt;
}

std::string NetworkError::debugDescription() const {
  if (kind_ == Kind::message) return "message(\"" + text_ + "\")";
  return "code(" + std::to_string(number_) + ", \"" + text_ + "\")";
}

}  // namespace lumo
