#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct evp_pkey_st;
struct x509_st;

namespace sim {

// A fresh key and self-signed certificate for a loopback TLS server, valid for the given
// host names and IP addresses. It acts as its own authority: a client trusts it by adding
// the written PEM file to its trust store.
class SelfSignedCertificate {
 public:
  // Nothing when OpenSSL fails.
  static std::unique_ptr<SelfSignedCertificate> make(const std::vector<std::string>& names);
  ~SelfSignedCertificate();

  x509_st* certificate() const { return certificate_; }
  evp_pkey_st* privateKey() const { return key_; }
  std::string pem() const;
  bool writePem(const std::filesystem::path& path) const;

 private:
  SelfSignedCertificate() = default;
  x509_st* certificate_ = nullptr;
  evp_pkey_st* key_ = nullptr;
};

}  // namespace sim
