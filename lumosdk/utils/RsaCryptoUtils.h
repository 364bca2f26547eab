#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Bytes.h"

struct evp_pkey_st;  // OpenSSL's EVP_PKEY

namespace lumo {

// The SDK's cryptography: the RSA key pair with which the phone registers, the public key in
// the form the backend receives, decryption of data the backend encrypted for this phone, and
// the MD5 signature of the registration. Stateless; safe from any thread. Keys live only in
// memory.
class RsaCryptoUtils {
 public:
  // An RSA key held in memory; copies share it. An empty Key stands for "no key".
  class Key {
   public:
    Key() = default;
    // Takes ownership of an OpenSSL key (code that talks to OpenSSL directly: tests, tools).
    static Key adopt(evp_pkey_st* key);
    evp_pkey_st* native() const { return key_.get(); }
    explicit operator bool() const { return key_ != nullptr; }

   private:
    std::shared_ptr<evp_pkey_st> key_;
  };

  // (public key, private key), in that order. The public key holds only the public half.
  struct KeyPair {
    Key publicKey;
    Key privateKey;
  };

  // A new RSA-2048 pair with the library's default public exponent.
  static std::optional<KeyPair> generateKeyPair();

  // Base64 (standard alphabet, padded, one line) of the X.509 SubjectPublicKeyInfo that wraps
  // the key's PKCS#1 RSAPublicKey: 392 characters for a 2048-bit key.
  static std::optional<std::string> getX509SPKIPublicKey(const Key& publicKey);

  // DER definite-length octets for `length`.
  static platform::Bytes createDERLength(std::size_t length);

  // Strict Base64 decode, then RSA-OAEP with SHA-256 (hash and MGF1) and an empty label;
  // the plaintext must be UTF-8.
  static std::optional<std::string> decrypt(const std::string& base64Ciphertext, const Key& privateKey);

  // Overwrites the text's bytes (OPENSSL_cleanse, which the compiler cannot leave out) and
  // empties it: for plaintext and tokens once they are no longer needed.
  static void wipe(std::string& secret);

  // 32 lowercase hexadecimal digits of the MD5 of the text's bytes.
  static std::optional<std::string> md5(const std::string& text);
};

}  // namespace lumo
