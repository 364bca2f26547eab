#pragma once

#include <memory>
#include <optional>
#include <string>

struct evp_pkey_st;

namespace sim {

// The backend's side of the phone's cryptography, written directly against OpenSSL so that
// tests compare two independent implementations.
class BackendCrypto {
 public:
  using PublicKey = std::shared_ptr<evp_pkey_st>;

  // Parses Base64 text of a DER SubjectPublicKeyInfo; only rsaEncryption keys are accepted.
  static PublicKey parseSubjectPublicKeyInfo(const std::string& base64);
  // RSA-OAEP with SHA-256 (hash and MGF1), empty label; Base64 of the ciphertext. Nothing when
  // the plaintext does not fit one block (190 bytes for RSA-2048).
  static std::optional<std::string> encryptForPhone(const std::string& plaintext, const PublicKey& key);
  static std::string md5Hex(const std::string& text);
  static std::string base64(const std::string& bytes);
  static std::optional<std::string> unbase64(const std::string& text);
};

}  // namespace sim
