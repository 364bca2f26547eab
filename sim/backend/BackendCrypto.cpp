#include "sim/backend/BackendCrypto.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <vector>

namespace sim {

BackendCrypto::PublicKey BackendCrypto::parseSubjectPublicKeyInfo(const std::string& base64Text) {
  auto der = unbase64(base64Text);
  if (!der || der->empty()) return nullptr;
  const auto* cursor = reinterpret_cast<const unsigned char*>(der->data());
  EVP_PKEY* key = d2i_PUBKEY(nullptr, &cursor, static_cast<long>(der->size()));
  // Trailing bytes after the structure mean the client framed it wrongly.
  bool whole = cursor == reinterpret_cast<const unsigned char*>(der->data()) + der->size();
  if (key == nullptr || !whole || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
    EVP_PKEY_free(key);
    ERR_clear_error();
    return nullptr;
  }
  return PublicKey(key, EVP_PKEY_free);
}

std::optional<std::string> BackendCrypto::encryptForPhone(const std::string& plaintext, const PublicKey& key) {
  if (!key) return std::nullopt;
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr), EVP_PKEY_CTX_free);
  std::size_t length = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(plaintext.data());
  if (!context || EVP_PKEY_encrypt_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) <= 0 ||
      EVP_PKEY_CTX_set_rsa_oaep_md_name(context.get(), "SHA256", nullptr) <= 0 ||
      EVP_PKEY_CTX_set_rsa_mgf1_md_name(context.get(), "SHA256", nullptr) <= 0 ||
      EVP_PKEY_encrypt(context.get(), nullptr, &length, in, plaintext.size()) <= 0) {
    ERR_clear_error();
    return std::nullopt;
  }
  std::string out(length, '\0');
  if (EVP_PKEY_encrypt(context.get(), reinterpret_cast<unsigned char*>(out.data()), &length, in,
                       plaintext.size()) <= 0) {
    ERR_clear_error();
    return std::nullopt;
  }
  out.resize(length);
  return base64(out);
}

std::string BackendCrypto::md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string BackendCrypto::base64(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3), '\0');
  int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return text;
}

std::optional<std::string> BackendCrypto::unbase64(const std::string& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out(text.size() / 4 * 3, '\0');
  int written = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (written < 0) return std::nullopt;
  // EVP_DecodeBlock counts padding as zero bytes; drop them.
  std::size_t padding = 0;
  if (!text.empty() && text.back() == '=') ++padding;
  if (text.size() > 1 && text[text.size() - 2] == '=') ++padding;
  out.resize(static_cast<std::size_t>(written) - padding);
  return out;
}

}  // namespace sim
