#pragma once

#include <memory>
#include <string>

#include "platform/PlatformExport.h"

namespace platform::net {

// The platform's set of trusted certificate authorities: the system bundle plus certificates
// the host installed, as a phone user installs a profile. Verification itself is never off.
//
// For development, one more PEM file may be trusted for one host only (the development
// backend's), never for any other host such as the production backend.
class LUMO_PLATFORM_EXPORT TrustStore {
 public:
  // Adds the PEM certificates of `path` for every later connection to any host. False (and
  // nothing added) when the file cannot be read or holds no PEM certificate.
  static bool addTrustedCertificateFile(const std::string& path);

  // Trusts the PEM certificates of `path` for connections to `host` only, in place of any
  // earlier host-scoped file; an empty path removes it. False (and nothing changed) when the
  // file cannot be read or holds no PEM certificate, or when `host` is empty.
  static bool setHostCertificateFile(const std::string& host, const std::string& path);

  // The PEM text the transport must trust for a connection to `host`: the system bundle
  // followed by the added certificates, or nullptr while nothing was added that applies
  // (the transport's defaults then apply).
  static std::shared_ptr<const std::string> bundleFor(const std::string& host);

  static void resetForTesting();
};

}  // namespace platform::net
