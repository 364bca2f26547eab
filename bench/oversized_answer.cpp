// Peak memory while a server answers 400 MB: the URL session's body limit on (the default)
// and off, once with the length announced and once chunked (known only as it arrives).
// Reports the growth of the process's peak resident set (VmHWM, reset before each case).

#include <httplib.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <limits>
#include <mutex>
#include <string>
#include <thread>

#include "platform/net/UrlSession.h"

namespace {

constexpr std::size_t kAnswerBytes = 400u << 20;
constexpr std::size_t kChunk = 64u << 10;

long peakKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

struct Outcome {
  std::size_t bodyBytes = 0;
  std::string error;
};

Outcome fetch(platform::net::UrlSession& session, const std::string& url, std::size_t limit) {
  platform::net::UrlRequest request(*platform::net::Url::parse(url));
  request.maximumResponseBytes = limit;
  request.timeout = platform::dispatch::Seconds(120);
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  Outcome outcome;
  session.dataTask(std::move(request), [&](std::optional<platform::net::UrlResponse> response,
                                          std::optional<platform::net::UrlError> error) {
    std::lock_guard lock(mutex);
    if (response) outcome.bodyBytes = response->body.size();
    if (error) outcome.error = error->detail;
    finished = true;
    done.notify_one();
  });
  std::unique_lock lock(mutex);
  done.wait(lock, [&] { return finished; });
  return outcome;
}

}  // namespace

int main() {
  const std::string chunk(kChunk, 'x');
  httplib::Server server;
  auto provide = [&](std::size_t offset, httplib::DataSink& sink) {
    std::size_t left = kAnswerBytes - offset;
    return sink.write(chunk.data(), std::min(left, kChunk));
  };
  server.Get("/announced", [&](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(kAnswerBytes, "application/json",
                                  [&](std::size_t offset, std::size_t, httplib::DataSink& sink) { return provide(offset, sink); });
  });
  server.Get("/chunked", [&](const httplib::Request&, httplib::Response& response) {
    auto sent = std::make_shared<std::size_t>(0);
    response.set_chunked_content_provider("application/json", [&, sent](std::size_t, httplib::DataSink& sink) {
      if (*sent >= kAnswerBytes) {
        sink.done();
        return true;
      }
      std::size_t piece = std::min(kChunk, kAnswerBytes - *sent);
      *sent += piece;
      return sink.write(chunk.data(), piece);
    });
  });
  int port = server.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { server.listen_after_bind(); });
  auto session = platform::net::UrlSession::create();
  const std::string base = "http://127.0.0.1:" + std::to_string(port);

  std::printf("%-10s %-8s %12s %16s  %s\n", "answer", "limit", "body bytes", "peak growth KiB", "error");
  for (const char* path : {"/announced", "/chunked"}) {
    for (std::size_t limit : {platform::net::UrlRequest::kDefaultMaximumResponseBytes,
                              std::numeric_limits<std::size_t>::max()}) {
      resetPeak();
      long before = peakKilobytes();
      Outcome outcome = fetch(*session, base + path, limit);
      long growth = peakKilobytes() - before;
      std::printf("%-10s %-8s %12zu %16ld  %s\n", path + 1,
                  limit == std::numeric_limits<std::size_t>::max() ? "none" : "1 MiB", outcome.bodyBytes, growth,
                  outcome.error.c_str());
    }
  }
  session.reset();
  server.stop();
  serving.join();
  return 0;
}
