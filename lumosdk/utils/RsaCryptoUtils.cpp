#include "lumosdk/utils/RsaCryptoUtils.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <array>

#include "platform/foundation/ConsoleLog.h"

namespace lumo {

namespace {

using platform::Bytes;

// rsaEncryption, 1.2.840.113549.1.1.1, as a complete OID TLV.
constexpr std::array<std::uint8_t, 11> kRsaEncryptionOid = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                                             0xF7, 0x0D, 0x01, 0x01, 0x01};

std::string lastOpenSslError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return {};
  std::array<char, 256> text{};
  ERR_error_string_n(code, text.data(), text.size());
  return text.data();
}

std::optional<Bytes> pkcs1PublicKey(EVP_PKEY* key) {
  if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) return std::nullopt;
  unsigned char* der = nullptr;
  int length = i2d_PublicKey(key, &der);
  if (length <= 0 || der == nullptr) return std::nullopt;
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

std::string base64Encode(const Bytes& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3), '\0');
  int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                                static_cast<int>(bytes.size()));
  text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return text;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Padded standard Base64 only: no line breaks, no spaces, no URL-safe alphabet.
std::optional<Bytes> base64DecodeStrict(const std::string& text) {
  if (text.size() % 4 != 0) return std::nullopt;
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    int values[4];
    int padding = 0;
    for (int j = 0; j < 4; ++j) {
      char c = text[i + j];
      if (c == '=' && last && j >= 2) {
        ++padding;
        values[j] = 0;
        continue;
      }
      if (padding > 0) return std::nullopt;  // data after padding
      values[j] = base64Value(c);
      if (values[j] < 0) return std::nullopt;
    }
    std::uint32_t group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
    out.push_back(static_cast<std::uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<std::uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<std::uint8_t>(group));
  }
  return out;
}

bool isValidUtf8(const Bytes& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::uint8_t lead = bytes[i];
    std::size_t extra;
    std::uint32_t codePoint;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (i + extra >= bytes.size()) return false;  // truncated sequence
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (bytes[i + k] & 0x3F);
    }
    static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < kMinimum[extra] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;  // overlong form, beyond Unicode, or a surrogate
    }
    i += extra + 1;
  }
  return true;
}

void printDecryptFailure(const std::string& description) {
  platform::foundation::ConsoleLog::write("RSA解密失败: " + description);
}

}  // namespace

RsaCryptoUtils::Key RsaCryptoUtils::Key::adopt(evp_pkey_st* key) {
  Key wrapped;
  if (key != nullptr) wrapped.key_ = std::shared_ptr<evp_pkey_st>(key, EVP_PKEY_free);
  return wrapped;
}

std::optional<RsaCryptoUtils::KeyPair> RsaCryptoUtils::generateKeyPair() {
  EVP_PKEY* generated = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(2048));
  Key privateKey = Key::adopt(generated);
  if (!privateKey) {
    ERR_clear_error();
    return std::nullopt;
  }
  // The public half as a key of its own, so that holding it never gives the private part.
  auto der = pkcs1PublicKey(privateKey.native());
  if (!der) return std::nullopt;
  const unsigned char* cursor = der->data();
  Key publicKey = Key::adopt(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(der->size())));
  if (!publicKey) {
    ERR_clear_error();
    return std::nullopt;
  }
  return KeyPair{publicKey, privateKey};
}

platform::Bytes RsaCryptoUtils::createDERLength(std::size_t length) {
  if (length < 128) return {static_cast<std::uint8_t>(length)};
  Bytes octets;
  for (std::size_t rest = length; rest > 0; rest >>= 8) {
    octets.insert(octets.begin(), static_cast<std::uint8_t>(rest & 0xFF));
  }
  octets.insert(octets.begin(), static_cast<std::uint8_t>(0x80 | octets.size()));
  return octets;
}

std::optional<std::string> RsaCryptoUtils::getX509SPKIPublicKey(const Key& publicKey) {
  ERR_clear_error();
  auto key = pkcs1PublicKey(publicKey.native());
  if (!key) {
    platform::foundation::ConsoleLog::write("获取公钥数据失败: " + lastOpenSslError());
    return std::nullopt;
  }
  Bytes algorithm = {0x30, static_cast<std::uint8_t>(kRsaEncryptionOid.size() + 2)};
  algorithm.insert(algorithm.end(), kRsaEncryptionOid.begin(), kRsaEncryptionOid.end());
  algorithm.insert(algorithm.end(), {0x05, 0x00});

  Bytes bitString = {0x03};
  Bytes bitLength = createDERLength(key->size() + 1);
  bitString.insert(bitString.end(), bitLength.begin(), bitLength.end());
  bitString.push_back(0x00);  // no unused bits
  bitString.insert(bitString.end(), key->begin(), key->end());

  Bytes spki = {0x30};
  Bytes outerLength = createDERLength(algorithm.size() + bitString.size());
  spki.insert(spki.end(), outerLength.begin(), outerLength.end());
  spki.insert(spki.end(), algorithm.begin(), algorithm.end());
  spki.insert(spki.end(), bitString.begin(), bitString.end());
  return base64Encode(spki);
}

std::optional<std::string> RsaCryptoUtils::decrypt(const std::string& base64Ciphertext, const Key& privateKey) {
  auto ciphertext = base64DecodeStrict(base64Ciphertext);
  if (!ciphertext) return std::nullopt;
  if (!privateKey) {
    printDecryptFailure("no private key");
    return std::nullopt;
  }
  ERR_clear_error();
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_pkey(nullptr, privateKey.native(), nullptr), EVP_PKEY_CTX_free);
  std::size_t plainLength = 0;
  bool ready = context && EVP_PKEY_decrypt_init(context.get()) > 0 &&
               EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) > 0 &&
               EVP_PKEY_CTX_set_rsa_oaep_md_name(context.get(), "SHA256", nullptr) > 0 &&
               EVP_PKEY_CTX_set_rsa_mgf1_md_name(context.get(), "SHA256", nullptr) > 0 &&
               EVP_PKEY_decrypt(context.get(), nullptr, &plainLength, ciphertext->data(), ciphertext->size()) > 0;
  Bytes plain(plainLength);
  // The plaintext's buffer is wiped on every way out; only the returned copy remains.
  struct Wiped {
    Bytes& bytes;
    ~Wiped() { OPENSSL_cleanse(bytes.data(), bytes.size()); }
  } wiped{plain};
  if (!ready ||
      EVP_PKEY_decrypt(context.get(), plain.data(), &plainLength, ciphertext->data(), ciphertext->size()) <= 0) {
    printDecryptFailure(lastOpenSslError());
    return std::nullopt;
  }
  plain.resize(plainLength);  // shrinks in place: the wipe still covers every plaintext byte
  if (!isValidUtf8(plain)) return std::nullopt;
  return std::string(plain.begin(), plain.end());
}

void RsaCryptoUtils::wipe(std::string& secret) {
  OPENSSL_cleanse(secret.data(), secret.size());
  secret.clear();
}

std::optional<std::string> RsaCryptoUtils::md5(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr) != 1) {
    ERR_clear_error();
    return std::nullopt;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0x0F]);
  }
  return hex;
}

}  // namespace lumo
