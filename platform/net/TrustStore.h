#pragma once

#include <memory>
#include <string>

#include "platform/PlatformExport.h"

namespace platform::net {

// The platform's set of trusted certificate authorities: the system bundle plus certificates
// the host installed, as a phone user installs a profile. Verification itself is never off.
// The environment variable LUMO_TRUSTED_CA_FILE names one more PEM file to trust at start.
class LUMO_PLATFORM_EXPORT TrustStore {
 public:
  // Adds the PEM certificates of `path` for every later connection. False (and nothing added)
  // when the file cannot be read or holds no PEM certificate.
  static bool addTrustedCertificateFile(const std::string& path);

  // The PEM text the transport must trust: the system bundle followed by the added
  // certificates, or nullptr while nothing was added (the transport's defaults then apply).
  static std::shared_ptr<const std::string> bundleWithAddedCertificates();

  static void resetForTesting();
};

}  // namespace platform::net
