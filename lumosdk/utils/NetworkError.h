#pragma once

#include <optional>
#include <string>


namespace lumo {

// A backend request that failed: either a plain message (transport and parse failures, an
// expired authorisation) or a numbered error with its text. The description is the text.
class NetworkError {
 public:
  enum class Kind { message, code };

  static NetworkError message(std::string text);
  static NetworkError code(int number, std::string text);

  Kind kind() const { return kind_; }
  // The number of a `code` error; nothing for a `message`.
  std::optional<int> number() const;
  const std::string& description() const { return text_; }
  // The form used when the error itself is embedded in a message: message("…") or code(7, "…").
  std::string debugDescription() const;

  bool operator==(const NetworkError& other) const = default;

 private:
  NetworkError(Kind kind, int number, std::string text) : kind_(kind), number_(number), text_(std::move(text)) {}

  Kind kind_;
  int number_;
  std::string text_;
};

}  // namespace lumo
