// The backend's answer as the client meets it: the body, the envelope rules, Base64, the
// RSA-OAEP ciphertext and the JSON inside it. Each answer reaches its callback exactly once,
// a success carries the envelope unchanged unless its data really opened to an object, an
// expired authorisation is reported once, and a ciphertext made for this phone opens to what
// was sealed.
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/RsaCryptoUtils.h"
#include "platform/foundation/ConsoleLog.h"
#include "tests/fuzz/support/FuzzSupport.h"

namespace {

using lumo::NetworkUtil;
using lumo::RsaCryptoUtils;
using lumo::fuzz::require;
using nlohmann::json;

constexpr const char* kAuthExpired = "授权已过期";
constexpr const char* kDecryptFailure = "RSA解密失败: ";

struct World {
  RsaCryptoUtils::KeyPair keys;
  int authExpired = 0;
  int decryptFailureLines = 0;
};

World& world() {
  static World* instance = [] {
    lumo::fuzz::quietSandbox();
    auto* made = new World;
    auto keys = RsaCryptoUtils::generateKeyPair();
    require(keys.has_value(), "a key pair");
    made->keys = *keys;
    NetworkUtil::setAuthExpireHandler([made] { ++made->authExpired; });
    platform::foundation::ConsoleLog::setSink([made](std::string_view line) {
      if (line.substr(0, std::string_view(kDecryptFailure).size()) == kDecryptFailure) ++made->decryptFailureLines;
    });
    return made;
  }();
  return *instance;
}

std::string base64(const std::vector<std::uint8_t>& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(),
                                static_cast<int>(bytes.size()));
  text.resize(static_cast<std::size_t>(written));
  return text;
}

// Strict standard Base64: whole groups of four, padding only at the very end.
std::optional<std::size_t> decodedLength(const std::string& text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t padding = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool inLastTwo = i + 2 >= text.size();
    if (text[i] == '=' && inLastTwo) {
      ++padding;
    } else if (padding > 0 || kAlphabet.find(text[i]) == std::string::npos) {
      return std::nullopt;
    }
  }
  return text.size() / 4 * 3 - padding;
}

// RSA-OAEP with SHA-256, as the backend seals data for a registered phone.
std::string seal(const std::string& plaintext, const RsaCryptoUtils::Key& publicKey) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(nullptr, publicKey.native(), nullptr);
  std::size_t length = 0;
  bool ready = context && EVP_PKEY_encrypt_init(context) > 0 &&
               EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_OAEP_PADDING) > 0 &&
               EVP_PKEY_CTX_set_rsa_oaep_md_name(context, "SHA256", nullptr) > 0 &&
               EVP_PKEY_CTX_set_rsa_mgf1_md_name(context, "SHA256", nullptr) > 0 &&
               EVP_PKEY_encrypt(context, nullptr, &length, reinterpret_cast<const unsigned char*>(plaintext.data()),
                                plaintext.size()) > 0;
  std::vector<std::uint8_t> sealed(length);
  ready = ready && EVP_PKEY_encrypt(context, sealed.data(), &length,
                                    reinterpret_cast<const unsigned char*>(plaintext.data()), plaintext.size()) > 0;
  EVP_PKEY_CTX_free(context);
  require(ready, "sealing up to 190 bytes");
  sealed.resize(length);
  return base64(sealed);
}

// The envelope rules applied to `envelope`; requires exactly one synchronous delivery.
NetworkUtil::Result deliver(const json& envelope, bool background) {
  std::vector<NetworkUtil::Result> results;
  auto callback = [&results](const NetworkUtil::Result& result) { results.push_back(result); };
  if (background) {
    NetworkUtil::handleBackgroundResponse(envelope, callback);
  } else {
    NetworkUtil::handleResponse(envelope, callback);
  }
  require(results.size() == 1, "an answer reaches its callback exactly once");
  return results.front();
}

// What the client must deliver for `envelope`, given what its "str" opens to.
void checkEnvelope(const json& envelope, bool background, bool keySet, const std::optional<std::string>& opened) {
  World& w = world();
  int authBefore = w.authExpired;
  NetworkUtil::Result result = deliver(envelope, background);
  auto code = envelope.find("code");
  bool integerCode = code != envelope.end() && code->is_number_integer();
  if (integerCode && *code == 1001) {
    require(w.authExpired == authBefore + 1, "an expired authorisation is reported once");
    if (background) {
      require(result.isSuccess() && result.envelope() == envelope, "background 1001 passes the envelope on");
    } else {
      require(!result.isSuccess() && result.error()->description() == kAuthExpired, "foreground 1001 fails");
    }
    return;
  }
  require(w.authExpired == authBefore, "only 1001 reports an expired authorisation");
  require(result.isSuccess(), "every other envelope is a success the caller judges");
  json expected = envelope;
  if (integerCode && *code == 0 && keySet && opened) {
    json inner = json::parse(*opened, nullptr, false);
    if (inner.is_object()) expected["data"] = inner;
  }
  require(result.envelope() == expected, "data is replaced only by an object it opened to");
}

}  // namespace

// Input: one byte of mode and flags, then the payload.
//   mode 0: the payload is the HTTP body;
//   mode 1: the payload is the text under "data"."str" of a code-0 envelope;
//   mode 2: the payload (up to 190 bytes) is sealed for this phone and sent that way.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  World& w = world();
  if (size == 0) return 0;
  int mode = data[0] % 3;
  bool background = (data[0] & 0x10) != 0;
  bool keySet = (data[0] & 0x20) == 0;
  std::string payload(reinterpret_cast<const char*>(data + 1), size - 1);
  NetworkUtil::setPrivateKey(keySet ? w.keys.privateKey : RsaCryptoUtils::Key());

  if (mode == 0) {
    // A body that is no JSON object never reaches the envelope rules: the client reports
    // "数据解析失败" for it; everything else goes through them.
    json body = json::parse(payload, nullptr, false);
    if (!body.is_object()) return 0;
    std::optional<std::string> opened;
    auto dataField = body.find("data");
    if (dataField != body.end() && dataField->is_object()) {
      auto sealed = dataField->find("str");
      if (sealed != dataField->end() && sealed->is_string()) {
        opened = RsaCryptoUtils::decrypt(sealed->get<std::string>(), w.keys.privateKey);
      }
    }
    checkEnvelope(body, background, keySet, opened);
    return 0;
  }

  if (mode == 1) {
    int linesBefore = w.decryptFailureLines;
    auto opened = RsaCryptoUtils::decrypt(payload, w.keys.privateKey);
    auto length = decodedLength(payload);
    if (!length) {
      require(!opened, "text that is not strict Base64 opens to nothing");
      require(w.decryptFailureLines == linesBefore, "text that is not Base64 prints nothing");
    } else {
      if (!opened) require(w.decryptFailureLines == linesBefore + 1, "a ciphertext that does not open prints one line");
      if (*length != 256) require(!opened, "only one whole RSA block opens");
    }
    if (opened) require(lumo::fuzz::isUtf8(*opened), "what opens is UTF-8");
    json envelope = {{"code", 0}, {"msg", "ok"}, {"data", {{"str", payload}, {"x", 1}}}};
    // Text that is not UTF-8 cannot come from a JSON body.
    if (!lumo::fuzz::isUtf8(payload)) return 0;
    checkEnvelope(envelope, background, keySet, opened);
    return 0;
  }

  if (payload.size() > 190) payload.resize(190);
  std::string sealed = seal(payload, w.keys.publicKey);
  auto opened = RsaCryptoUtils::decrypt(sealed, w.keys.privateKey);
  if (lumo::fuzz::isUtf8(payload)) {
    require(opened == payload, "a ciphertext made for this phone opens to what was sealed");
  } else {
    require(!opened, "a plaintext that is not UTF-8 is refused");
  }
  json envelope = {{"code", 0}, {"msg", "ok"}, {"data", {{"str", sealed}, {"x", "dropped"}}}};
  checkEnvelope(envelope, background, keySet, opened);
  return 0;
}
