#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/PlatformExport.h"
#include "platform/net/UrlError.h"
#include "platform/net/UrlRequest.h"
#include "platform/net/UrlResponse.h"

namespace platform::net {

// URLSession's stand-in: runs HTTP(S) transfers concurrently on one transfer thread, reuses
// connections between them, verifies TLS certificates against the TrustStore, and calls each
// completion on the session's serial completion queue.
//
// Notes for callers:
// - dataTask() starts the transfer at once and returns; it is safe from any thread.
// - Exactly one of response and error is present in the completion. A response is delivered
//   whatever its HTTP status; only transport failures are errors.
// - Each transfer counts as work in flight for the virtual clock from dataTask() until its
//   completion has returned, so tests driving the main loop wait for it instead of
//   jumping time.
class LUMO_PLATFORM_EXPORT UrlSession {
 public:
  using Completion = std::function<void(std::optional<UrlResponse> response, std::optional<UrlError> error)>;
  // Answers a request inside the process; nothing stands for a failed transfer.
  using Responder = std::function<std::optional<UrlResponse>(const UrlRequest& request)>;

  // The process-wide session; never destroyed.
  static UrlSession& shared();

  // A private session; destroying it cancels its unfinished transfers (their completions
  // receive UrlError::cancelled) and waits for its threads.
  static std::unique_ptr<UrlSession> create();

  ~UrlSession();
  UrlSession(const UrlSession&) = delete;
  UrlSession& operator=(const UrlSession&) = delete;

  void dataTask(UrlRequest request, Completion completion);

  // While set, every session answers each transfer with the responder instead of the network
  // (fuzzers, which must not touch it): the responder runs on the calling thread of dataTask
  // and the completion on the completion thread as usual. nullptr restores the network.
  static void setResponder(Responder responder);

  // Lets the environment's proxy variables (https_proxy, ALL_PROXY...) and SSLKEYLOGFILE
  // take effect, for a host that debugs its traffic; off by default, as they would send the
  // traffic elsewhere or write its secrets to a file. SSLKEYLOGFILE counts only when allowed
  // before the first transfer.
  static void allowDebuggingEnvironment(bool allowed);

  // Whether the calling thread runs one of this session's completions.
  bool isCompletionThread() const;

  class Impl;

 private:
  UrlSession();
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::net
