#pragma once

#include <curl/curl.h>

#include "platform/net/UrlError.h"

namespace platform::net {

// Maps libcurl's result of a failed transfer to the error the session's callers see.
UrlError makeTransferError(CURLcode result, const char* transportDetail);

}  // namespace platform::net
