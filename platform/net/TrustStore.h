#pragma once

#include <memory>
#include <string>

#include "platform/PlatformExport.h"

namespace platform::net {

// The platform's set of trusted certificate authorities: the system bundle plus certificates
// the host installed, as a phone user installs a profile. Verification itself is never off.
//
// For development, the environment variable LUMO_TRUSTED_CA_FILE names one more PEM file,
// trusted only for the development host (the host of LUMO_DEV_BASE_URL, or 127.0.0.1), never
// for the production backend; the system log says so once while it is in use.
class LUMO_PLATFORM_EXPORT TrustStore {
 public:
  // Adds the PEM certificates of `path` for every later connection to any host. False (and
  // nothing added) when the file cannot be read or holds no PEM certificate.
  static bool addTrustedCertificateFile(const std::string& path);

  // The PEM text the transport must trust for a connection to `host`: the system bundle
  // followed by the added certificates, or nullptr while nothing was added that applies
  // (the transport's defaults then apply).
  static std::shared_ptr<const std::string> bundleFor(const std::string& host);

  static void resetForTesting();
};

}  // namespace platform::net
