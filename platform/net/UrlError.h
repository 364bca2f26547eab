#pragma once

#include <string>

#include "platform/PlatformExport.h"

namespace platform::net {

// A transfer that did not complete, shaped like NSURLError: a code from its table and a
// description fit to show a user. `detail` keeps the transport's own wording for logs.
struct LUMO_PLATFORM_EXPORT UrlError {
  enum Code : int {
    unknown = -1,
    cancelled = -999,
    badUrl = -1000,
    timedOut = -1001,
    unsupportedUrl = -1002,
    cannotFindHost = -1003,
    cannotConnectToHost = -1004,
    networkConnectionLost = -1005,
    badServerResponse = -1011,
    dataLengthExceedsMaximum = -1103,
    secureConnectionFailed = -1200,
    serverCertificateUntrusted = -1202,
  };

  int code = unknown;
  std::string localizedDescription;
  std::string detail;
};

}  // namespace platform::net
