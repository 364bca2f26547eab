#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include "lumosdk/utils/RsaCryptoUtils.h"
#include "sim/backend/BackendCrypto.h"
#include "tests/support/VirtualTimeTest.h"

namespace {

using lumo::RsaCryptoUtils;
using Bytes = std::vector<std::uint8_t>;

// Encrypts as a backend would, with the OAEP hash of the caller's choice.
std::string oaepEncrypt(const std::string& plain, EVP_PKEY* key, const char* digest) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr);
  EVP_PKEY_encrypt_init(context);
  EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_OAEP_PADDING);
  EVP_PKEY_CTX_set_rsa_oaep_md_name(context, digest, nullptr);
  EVP_PKEY_CTX_set_rsa_mgf1_md_name(context, digest, nullptr);
  std::size_t length = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(plain.data());
  EVP_PKEY_encrypt(context, nullptr, &length, in, plain.size());
  std::string out(length, '\0');
  EVP_PKEY_encrypt(context, reinterpret_cast<unsigned char*>(out.data()), &length, in, plain.size());
  EVP_PKEY_CTX_free(context);
  out.resize(length);
  return sim::BackendCrypto::base64(out);
}

BIGNUM* rsaParameter(EVP_PKEY* key, const char* name) {
  BIGNUM* value = nullptr;
  EVP_PKEY_get_bn_param(key, name, &value);
  return value;
}

class RsaCryptoUtilsTest : public lumo::test::VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    auto pair = RsaCryptoUtils::generateKeyPair();
    ASSERT_TRUE(pair);
    pair_ = *pair;
  }
  RsaCryptoUtils::KeyPair pair_;
};

TEST(RsaCryptoUtilsDer, LengthOctetsFollowDerDefiniteForm) {
  EXPECT_EQ(RsaCryptoUtils::createDERLength(0), Bytes({0x00}));
  EXPECT_EQ(RsaCryptoUtils::createDERLength(127), Bytes({0x7F}));
  EXPECT_EQ(RsaCryptoUtils::createDERLength(128), Bytes({0x81, 0x80}));
  EXPECT_EQ(RsaCryptoUtils::createDERLength(200), Bytes({0x81, 0xC8}));
  EXPECT_EQ(RsaCryptoUtils::createDERLength(256), Bytes({0x82, 0x01, 0x00}));
  EXPECT_EQ(RsaCryptoUtils::createDERLength(270), Bytes({0x82, 0x01, 0x0E}));
  EXPECT_EQ(RsaCryptoUtils::createDERLength(0x1000000), Bytes({0x84, 0x01, 0x00, 0x00, 0x00}));
}

TEST(RsaCryptoUtilsMd5, DigestsUtf8BytesAsLowercaseHex) {
  EXPECT_EQ(RsaCryptoUtils::md5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(RsaCryptoUtils::md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(RsaCryptoUtils::md5("车辆"), "f061db1c9caf81cd5af074f5b8e4bd56");
  EXPECT_EQ(RsaCryptoUtils::md5("com.nimbo.lumodemo==1767225600000.0"), "b727e604ad0659d36d761d73abcd90dc");
}

TEST_F(RsaCryptoUtilsTest, PublicKeyIsAStandardSubjectPublicKeyInfoOfTheSameKey) {
  auto text = RsaCryptoUtils::getX509SPKIPublicKey(pair_.publicKey);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->size(), 392u);
  EXPECT_EQ(text->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  auto der = sim::BackendCrypto::unbase64(*text);
  ASSERT_TRUE(der);
  ASSERT_EQ(der->size(), 294u);

  const auto* cursor = reinterpret_cast<const unsigned char*>(der->data());
  X509_PUBKEY* parsed = d2i_X509_PUBKEY(nullptr, &cursor, static_cast<long>(der->size()));
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(cursor, reinterpret_cast<const unsigned char*>(der->data()) + der->size());
  X509_ALGOR* algorithm = nullptr;
  ASSERT_EQ(X509_PUBKEY_get0_param(nullptr, nullptr, nullptr, &algorithm, parsed), 1);
  const ASN1_OBJECT* oid = nullptr;
  int parameterType = 0;
  X509_ALGOR_get0(&oid, &parameterType, nullptr, algorithm);
  EXPECT_EQ(OBJ_obj2nid(oid), NID_rsaEncryption);
  EXPECT_EQ(parameterType, V_ASN1_NULL);

  EVP_PKEY* decoded = X509_PUBKEY_get(parsed);
  ASSERT_NE(decoded, nullptr);
  for (const char* name : {OSSL_PKEY_PARAM_RSA_N, OSSL_PKEY_PARAM_RSA_E}) {
    BIGNUM* fromSpki = rsaParameter(decoded, name);
    BIGNUM* fromPrivate = rsaParameter(pair_.privateKey.native(), name);
    ASSERT_NE(fromSpki, nullptr);
    ASSERT_NE(fromPrivate, nullptr);
    EXPECT_EQ(BN_cmp(fromSpki, fromPrivate), 0) << name;
    BN_free(fromSpki);
    BN_free(fromPrivate);
  }
  EXPECT_EQ(EVP_PKEY_get_bits(decoded), 2048);
  EVP_PKEY_free(decoded);
  X509_PUBKEY_free(parsed);

  // The public key alone carries no private part.
  BIGNUM* privateExponent = rsaParameter(pair_.publicKey.native(), OSSL_PKEY_PARAM_RSA_D);
  EXPECT_EQ(privateExponent, nullptr);
  BN_free(privateExponent);
  EXPECT_FALSE(RsaCryptoUtils::getX509SPKIPublicKey(RsaCryptoUtils::Key()));
  EXPECT_TRUE(consoleHas("获取公钥数据失败: "));
}

TEST_F(RsaCryptoUtilsTest, DecryptsOaepSha256AndRefusesEverythingElse) {
  auto sealed = sim::BackendCrypto::encryptForPhone(R"({"a":2})", sim::BackendCrypto::parseSubjectPublicKeyInfo(
                                                                     *RsaCryptoUtils::getX509SPKIPublicKey(pair_.publicKey)));
  ASSERT_TRUE(sealed);
  EXPECT_EQ(RsaCryptoUtils::decrypt(*sealed, pair_.privateKey), R"({"a":2})");
  std::string chinese = "车门已锁定";
  EXPECT_EQ(RsaCryptoUtils::decrypt(oaepEncrypt(chinese, pair_.publicKey.native(), "SHA256"), pair_.privateKey),
            chinese);
  EXPECT_TRUE(consoleLines().empty());

  // Not strict Base64: refused silently.
  std::string wrapped = sealed->substr(0, 76) + "\n" + sealed->substr(76);
  for (const std::string& bad : {std::string("not base64!"), wrapped, sealed->substr(1), std::string("QQ=A")}) {
    EXPECT_FALSE(RsaCryptoUtils::decrypt(bad, pair_.privateKey)) << bad;
  }
  EXPECT_TRUE(consoleLines().empty());

  auto other = RsaCryptoUtils::generateKeyPair();
  ASSERT_TRUE(other);
  EXPECT_FALSE(RsaCryptoUtils::decrypt(*sealed, other->privateKey));
  ASSERT_EQ(consoleLines().size(), 1u);
  EXPECT_EQ(consoleLines()[0].rfind("RSA解密失败: ", 0), 0u);
  EXPECT_GT(consoleLines()[0].size(), std::string("RSA解密失败: ").size());

  EXPECT_FALSE(RsaCryptoUtils::decrypt(oaepEncrypt("sha1", pair_.publicKey.native(), "SHA1"), pair_.privateKey));
  EXPECT_EQ(consoleLines().size(), 2u);

  // Decrypts, but the bytes are not UTF-8.
  EXPECT_FALSE(RsaCryptoUtils::decrypt(oaepEncrypt("\xC3\x28", pair_.publicKey.native(), "SHA256"), pair_.privateKey));
  EXPECT_FALSE(RsaCryptoUtils::decrypt(oaepEncrypt("\xED\xA0\x80", pair_.publicKey.native(), "SHA256"), pair_.privateKey));
  EXPECT_EQ(consoleLines().size(), 2u);
}

TEST_F(RsaCryptoUtilsTest, EachPairIsFresh) {
  auto other = RsaCryptoUtils::generateKeyPair();
  ASSERT_TRUE(other);
  EXPECT_NE(RsaCryptoUtils::getX509SPKIPublicKey(pair_.publicKey), RsaCryptoUtils::getX509SPKIPublicKey(other->publicKey));
}

}  // namespace
