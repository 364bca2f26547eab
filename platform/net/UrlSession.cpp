#include "platform/net/UrlSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/SystemLog.h"
#include "platform/net/TransferError.h"
#include "platform/net/TrustStore.h"

namespace platform::net {

namespace {

std::atomic<bool> debuggingEnvironmentAllowed{false};

// libcurl opens SSLKEYLOGFILE when it starts, and would write every TLS secret there: unless
// the host opted in, the variable is hidden from it for that moment.
void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::optional<std::string> keyLog;
    if (const char* value = std::getenv("SSLKEYLOGFILE"); value != nullptr && !debuggingEnvironmentAllowed) {
      keyLog = value;
      ::unsetenv("SSLKEYLOGFILE");
      foundation::SystemLog::error("UrlSession: SSLKEYLOGFILE ignored; the host did not allow it");
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (keyLog) ::setenv("SSLKEYLOGFILE", keyLog->c_str(), 1);
  });
}

// One request from dataTask() until its completion has run.
struct Transfer {
  Transfer(UrlRequest r, UrlSession::Completion c) : request(std::move(r)), completion(std::move(c)) {}
  ~Transfer() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (headerList != nullptr) curl_slist_free_all(headerList);
  }

  UrlRequest request;
  UrlSession::Completion completion;
  // Counts the transfer as in flight for the virtual clock; released after the completion.
  dispatch::Scheduler::WorkToken inFlight;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  std::shared_ptr<const std::string> trustBundle;
  std::string responseBody;
  bool bodyTooLong = false;
  char errorBuffer[CURL_ERROR_SIZE] = {};
};

// Keeps the body up to the request's limit; one byte past it ends the transfer (curl then
// reports a write error, which finish() turns into the length error).
size_t appendBody(char* data, size_t size, size_t count, void* target) {
  auto& transfer = *static_cast<Transfer*>(target);
  const size_t length = size * count;
  if (length > transfer.request.maximumResponseBytes - transfer.responseBody.size()) {
    transfer.bodyTooLong = true;
    return CURL_WRITEFUNC_ERROR;
  }
  transfer.responseBody.append(data, length);
  return length;
}

UrlError bodyTooLongError(const Transfer& transfer) {
  return UrlError{UrlError::dataLengthExceedsMaximum, "资源超出最大大小。",
                  "response body over " + std::to_string(transfer.request.maximumResponseBytes) + " bytes"};
}

std::mutex responderMutex;
UrlSession::Responder& responder() {
  static auto* installed = new UrlSession::Responder;  // never destroyed: sessions outlive exit
  return *installed;
}

UrlSession::Responder currentResponder() {
  std::lock_guard lock(responderMutex);
  return responder();
}

}  // namespace

class UrlSession::Impl {
 public:
  Impl() {
    initialiseCurlOnce();
    multi_ = curl_multi_init();
    // As a phone's session: at most six connections per host; further transfers wait their turn.
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
    completionThread_ = std::thread([this] { completionLoop(); });
    transferThread_ = std::thread([this] { transferLoop(); });
  }

  ~Impl() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    curl_multi_wakeup(multi_);
    transferThread_.join();
    {
      std::lock_guard lock(completionMutex_);
      completionStopping_ = true;
    }
    completionReady_.notify_all();
    completionThread_.join();
    curl_multi_cleanup(multi_);
  }

  void start(std::shared_ptr<Transfer> transfer) {
    if (auto answer = currentResponder()) {
      std::optional<UrlResponse> response = answer(transfer->request);
      if (response && response->body.size() > transfer->request.maximumResponseBytes) {
        UrlError error = bodyTooLongError(*transfer);  // before the move empties transfer
        finishWithError(std::move(transfer), std::move(error));
      } else if (response) {
        enqueueCompletion(std::move(transfer), std::move(response), std::nullopt);
      } else {
        finishWithError(std::move(transfer), UrlError{UrlError::unknown, "发生了未知错误。", "no answer"});
      }
      return;
    }
    {
      std::lock_guard lock(mutex_);
      if (!stopping_) {
        pending_.push_back(std::move(transfer));
        transfer = nullptr;
      }
    }
    if (transfer) {
      finishWithError(std::move(transfer), UrlError{UrlError::cancelled, "已取消", "session closed"});
      return;
    }
    curl_multi_wakeup(multi_);
  }

  bool isCompletionThread() const { return std::this_thread::get_id() == completionThread_.get_id(); }

 private:
  void transferLoop() {
    std::vector<std::shared_ptr<Transfer>> active;
    for (;;) {
      std::vector<std::shared_ptr<Transfer>> arrived;
      {
        std::lock_guard lock(mutex_);
        if (stopping_) break;
        arrived.swap(pending_);
      }
      for (auto& transfer : arrived) {
        if (configure(*transfer) && curl_multi_add_handle(multi_, transfer->easy) == CURLM_OK) {
          active.push_back(std::move(transfer));
        } else {
          finishWithError(std::move(transfer),
                          UrlError{UrlError::unknown, "发生了未知错误。", "transfer could not be set up"});
        }
      }
      int running = 0;
      curl_multi_perform(multi_, &running);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg != CURLMSG_DONE) continue;
        CURL* easy = message->easy_handle;
        CURLcode result = message->data.result;
        curl_multi_remove_handle(multi_, easy);
        for (auto it = active.begin(); it != active.end(); ++it) {
          if ((*it)->easy != easy) continue;
          std::shared_ptr<Transfer> done = std::move(*it);
          active.erase(it);
          finish(std::move(done), result);
          break;
        }
      }
      curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
    for (auto& transfer : active) {
      curl_multi_remove_handle(multi_, transfer->easy);
      finishWithError(std::move(transfer), UrlError{UrlError::cancelled, "已取消", "session closed"});
    }
    std::vector<std::shared_ptr<Transfer>> unstarted;
    {
      std::lock_guard lock(mutex_);
      unstarted.swap(pending_);
    }
    for (auto& transfer : unstarted) {
      finishWithError(std::move(transfer), UrlError{UrlError::cancelled, "已取消", "session closed"});
    }
  }

  bool configure(Transfer& transfer) {
    transfer.easy = curl_easy_init();
    if (transfer.easy == nullptr) return false;
    CURL* easy = transfer.easy;
    const UrlRequest& request = transfer.request;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.text().c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
    auto milliseconds = [](dispatch::Seconds limit) { return static_cast<long>(std::ceil(limit.count() * 1000.0)); };
    // Zero means no limit to curl as well.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::max(0L, milliseconds(request.timeout)));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, std::max(0L, milliseconds(request.connectTimeout)));
    if (request.idleTimeout.count() > 0) {
      // Slower than the request's minimum over the whole window (by default, nothing moved).
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, request.minimumBytesPerSecond));
      curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::ceil(request.idleTimeout.count())));
    }
    // Certificate checks stay on whatever the caller asks; trust is widened only through
    // the TrustStore.
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // TLS 1.2 at least, whatever the system's OpenSSL configuration allows.
    curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    // Proxy variables would send the traffic, the token with it, wherever they say.
    if (!debuggingEnvironmentAllowed) curl_easy_setopt(easy, CURLOPT_PROXY, "");
    transfer.trustBundle = TrustStore::bundleFor(request.url.host());
    if (transfer.trustBundle) {
      curl_blob blob{const_cast<char*>(transfer.trustBundle->data()), transfer.trustBundle->size(),
                     CURL_BLOB_NOCOPY};
      curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    // A body announced longer than the limit is refused before any of it is read.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maximumResponseBytes));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);

    for (const auto& [name, value] : request.headers) {
      transfer.headerList = curl_slist_append(transfer.headerList, (name + ": " + value).c_str());
    }
    // No "Expect: 100-continue" round trip before larger bodies.
    transfer.headerList = curl_slist_append(transfer.headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headerList);

    if (request.method == "POST") {
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
    } else if (request.method == "GET") {
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else {
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
      if (!request.body.empty()) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
      }
    }
    return true;
  }

  void finish(std::shared_ptr<Transfer> transfer, CURLcode result) {
    if (transfer->bodyTooLong || result == CURLE_FILESIZE_EXCEEDED) {
      UrlError error = bodyTooLongError(*transfer);
      transfer->responseBody = std::string();
      finishWithError(std::move(transfer), std::move(error));
      return;
    }
    if (result != CURLE_OK) {
      UrlError error = makeTransferError(result, transfer->errorBuffer);
      finishWithError(std::move(transfer), std::move(error));
      return;
    }
    UrlResponse response;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &response.statusCode);
    response.body = std::move(transfer->responseBody);
    enqueueCompletion(std::move(transfer), std::move(response), std::nullopt);
  }

  void finishWithError(std::shared_ptr<Transfer> transfer, UrlError error) {
    enqueueCompletion(std::move(transfer), std::nullopt, std::move(error));
  }

  void enqueueCompletion(std::shared_ptr<Transfer> transfer, std::optional<UrlResponse> response,
                         std::optional<UrlError> error) {
    auto block = [transfer = std::move(transfer), response = std::move(response),
                  error = std::move(error)]() mutable {
      if (transfer->completion) {
        try {
          transfer->completion(std::move(response), std::move(error));
        } catch (...) {
          foundation::SystemLog::error("UrlSession: a completion handler threw; ignored");
        }
      }
      // Releases the in-flight count only now, after the completion ran.
      transfer.reset();
    };
    {
      std::lock_guard lock(completionMutex_);
      completions_.push_back(std::move(block));
    }
    completionReady_.notify_one();
  }

  void completionLoop() {
    for (;;) {
      std::function<void()> block;
      {
        std::unique_lock lock(completionMutex_);
        completionReady_.wait(lock, [this] { return completionStopping_ || !completions_.empty(); });
        if (completions_.empty()) return;  // stopping, and everything delivered
        block = std::move(completions_.front());
        completions_.pop_front();
      }
      block();
    }
  }

  CURLM* multi_ = nullptr;
  std::mutex mutex_;
  bool stopping_ = false;
  std::vector<std::shared_ptr<Transfer>> pending_;
  std::thread transferThread_;

  std::mutex completionMutex_;
  std::condition_variable completionReady_;
  std::deque<std::function<void()>> completions_;
  bool completionStopping_ = false;
  std::thread completionThread_;
};

UrlSession::UrlSession() : impl_(std::make_unique<Impl>()) {}
UrlSession::~UrlSession() = default;

UrlSession& UrlSession::shared() {
  static UrlSession* session = new UrlSession;  // never destroyed: its threads outlive exit
  return *session;
}

std::unique_ptr<UrlSession> UrlSession::create() { return std::unique_ptr<UrlSession>(new UrlSession); }

void UrlSession::dataTask(UrlRequest request, Completion completion) {
  impl_->start(std::make_shared<Transfer>(std::move(request), std::move(completion)));
}

void UrlSession::setResponder(Responder answer) {
  std::lock_guard lock(responderMutex);
  responder() = std::move(answer);
}

void UrlSession::allowDebuggingEnvironment(bool allowed) { debuggingEnvironmentAllowed = allowed; }

bool UrlSession::isCompletionThread() const { return impl_->isCompletionThread(); }

}  // namespace platform::net
