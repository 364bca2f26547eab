#include "sim/backend/SelfSignedCertificate.h"

#include <arpa/inet.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>

namespace sim {

namespace {

bool isIpAddress(const std::string& name) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, name.c_str(), buffer) == 1 || inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

bool addExtension(X509* certificate, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr) return false;
  bool added = X509_add_ext(certificate, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return added;
}

}  // namespace

std::unique_ptr<SelfSignedCertificate> SelfSignedCertificate::make(const std::vector<std::string>& names) {
  std::unique_ptr<SelfSignedCertificate> made(new SelfSignedCertificate);
  // P-256 keeps start-up fast; clients verify it like any other key type.
  made->key_ = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
  made->certificate_ = X509_new();
  X509* certificate = made->certificate_;
  if (made->key_ == nullptr || certificate == nullptr) {
    ERR_clear_error();
    return nullptr;
  }
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* serialNumber = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(serialNumber, X509_get_serialNumber(certificate));
  BN_free(serialNumber);

  X509_set_version(certificate, 2);
  // Certificate validity is checked against the real clock, whatever clock the process uses.
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 3600L * 24 * 365);
  X509_set_pubkey(certificate, made->key_);
  X509_NAME* subject = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Lumo Backend Simulator"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(names.empty() ? "localhost" : names[0].c_str()),
                             -1, -1, 0);
  X509_set_issuer_name(certificate, subject);

  std::string alternativeNames;
  for (const auto& name : names) {
    if (!alternativeNames.empty()) alternativeNames += ",";
    alternativeNames += (isIpAddress(name) ? "IP:" : "DNS:") + name;
  }
  bool ok = addExtension(certificate, NID_basic_constraints, "critical,CA:TRUE") &&
            addExtension(certificate, NID_key_usage, "critical,digitalSignature,keyCertSign") &&
            addExtension(certificate, NID_ext_key_usage, "serverAuth") &&
            addExtension(certificate, NID_subject_key_identifier, "hash") &&
            (alternativeNames.empty() || addExtension(certificate, NID_subject_alt_name, alternativeNames)) &&
            X509_sign(certificate, made->key_, EVP_sha256()) > 0;
  if (!ok) {
    ERR_clear_error();
    return nullptr;
  }
  return made;
}

SelfSignedCertificate::~SelfSignedCertificate() {
  X509_free(certificate_);
  EVP_PKEY_free(key_);
}

std::string SelfSignedCertificate::pem() const {
  BIO* memory = BIO_new(BIO_s_mem());
  if (memory == nullptr) return {};
  std::string text;
  if (PEM_write_bio_X509(memory, certificate_) == 1) {
    char* data = nullptr;
    long length = BIO_get_mem_data(memory, &data);
    if (length > 0) text.assign(data, static_cast<std::size_t>(length));
  }
  BIO_free(memory);
  return text;
}

bool SelfSignedCertificate::writePem(const std::filesystem::path& path) const {
  std::string text = pem();
  if (text.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace sim
