#include "sim/backend/BackendSimulator.h"

#include <httplib.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/net/TrustStore.h"
#include "sim/backend/SelfSignedCertificate.h"

namespace sim {

namespace {

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Shuts down every accepted connection of ours (local port `port`), as a server process that
// goes away would. The HTTP library otherwise keeps idle keep-alive connections, and the
// threads serving them, until its keep-alive time-out runs out.
void shutDownConnectionsOnPort(int port) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    int fd = -1;
    try {
      fd = std::stoi(entry.path().filename().string());
    } catch (...) {
      continue;
    }
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t localLength = sizeof local;
    socklen_t peerLength = sizeof peer;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) continue;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) continue;  // not connected
    int localPort = 0;
    if (local.ss_family == AF_INET) localPort = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    if (local.ss_family == AF_INET6) localPort = ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port);
    if (localPort == port) ::shutdown(fd, SHUT_RDWR);
  }
}

}  // namespace

class BackendSimulator::Impl {
 public:
  ~Impl() {
    stopStalling();
    stopServer();
    std::error_code ignored;
    if (ownsCertificateDirectory) std::filesystem::remove_all(certificatePath.parent_path(), ignored);
  }

  bool startServer(int wantedPort) {
    auto made = std::make_unique<httplib::SSLServer>(certificate->certificate(), certificate->privateKey());
    if (!made->is_valid()) return false;
    // Without these every request pays for Nagle's delay and a new TLS handshake.
    made->set_tcp_nodelay(true);
    made->set_keep_alive_max_count(100000);
    // Each kept-alive connection holds a worker; leave room for several clients at once.
    made->new_task_queue = [] { return new httplib::ThreadPool(32); };
    auto handler = [this](const httplib::Request& request, httplib::Response& response) {
      serve(request, response);
    };
    made->Post(R"(/.*)", handler);
    made->Get(R"(/.*)", handler);
    int bound = wantedPort == 0 ? made->bind_to_any_port("127.0.0.1")
                                : (made->bind_to_port("127.0.0.1", wantedPort) ? wantedPort : -1);
    if (bound <= 0) return false;
    port = bound;
    {
      std::lock_guard lock(mutex);
      stopping = false;
    }
    server = std::move(made);
    listening = std::thread([server = server.get()] { server->listen_after_bind(); });
    // stop() is a no-op until the loop runs; wait for it so a quick stop is never lost.
    while (!server->is_running()) std::this_thread::yield();
    return true;
  }

  void stopServer() {
    if (!server) return;
    {
      std::lock_guard lock(mutex);
      stopping = true;
    }
    delayWake.notify_all();
    server->stop();
    shutDownConnectionsOnPort(port);
    listening.join();
    server.reset();
  }

  // Closing the listener resets the connections still waiting in its backlog.
  void stopStalling() {
    if (stalling < 0) return;
    ::close(stalling);
    stalling = -1;
  }

  void serve(const httplib::Request& request, httplib::Response& response) {
    RecordedRequest recorded;
    recorded.method = request.method;
    recorded.path = request.path;
    for (const auto& [name, value] : request.headers) recorded.headers[lowerCase(name)] = value;
    recorded.body = request.body;
    recorded.json = nlohmann::json::parse(request.body, nullptr, false);
    if (recorded.json.is_discarded()) recorded.json = nullptr;
    recorded.wallMillis = platform::dispatch::Scheduler::clock().wallMillis();
    recorded.remotePort = request.remote_port;

    std::optional<BackendReply> scripted;
    platform::dispatch::Seconds delay{0};
    {
      std::lock_guard lock(mutex);
      recordedRequests.push_back(recorded);
      arrived.notify_all();
      auto queued = replies.find(recorded.path);
      if (queued != replies.end() && !queued->second.empty()) {
        scripted = std::move(queued->second.front());
        queued->second.pop_front();
      }
      delay = scripted ? scripted->delay : defaultDelay;
    }
    if (delay.count() > 0) {
      std::unique_lock lock(mutex);
      delayWake.wait_for(lock, delay, [this] { return stopping; });
    }
    if (!scripted || scripted->kind == BackendReply::Kind::service) {
      BackendAnswer answer = service.handle(recorded);
      response.status = answer.status;
      setBody(response, answer.body, scripted ? *scripted : BackendReply::service());
      return;
    }
    response.status = scripted->httpStatus;
    switch (scripted->kind) {
      case BackendReply::Kind::envelope:
        setBody(response, scripted->envelope.dump(), *scripted);
        break;
      case BackendReply::Kind::rawBody:
        setBody(response, scripted->rawBody, *scripted);
        break;
      case BackendReply::Kind::undecryptableData:
        setBody(response, BackendService::undecryptableEnvelope().dump(), *scripted);
        break;
      case BackendReply::Kind::service:
        break;
      case BackendReply::Kind::dropConnection: {
        // Announces the whole body, sends half of it, then gives up on the connection.
        std::string body = nlohmann::json{{"code", 0}, {"msg", "success"}, {"data", {{"a", 1}}}}.dump();
        response.set_content_provider(body.size(), "application/json",
                                      [body](size_t, size_t, httplib::DataSink& sink) {
                                        sink.write(body.data(), body.size() / 2);
                                        return false;
                                      });
        break;
      }
    }
  }

  // A trickled body goes out in about ten pieces over `trickle` of real time; a dripped one
  // a byte at a time, `drip` apart.
  void setBody(httplib::Response& response, std::string body, const BackendReply& pace) {
    if ((pace.trickle.count() <= 0 && pace.drip.count() <= 0) || body.empty()) {
      response.set_content(body, "application/json");
      return;
    }
    constexpr std::size_t kPieces = 10;
    const bool dripping = pace.drip.count() > 0;
    auto pause = dripping ? pace.drip : pace.trickle / static_cast<double>(kPieces);
    std::size_t piece = dripping ? 1 : (body.size() + kPieces - 1) / kPieces;
    std::size_t length = body.size();  // before the body moves into the provider
    response.set_content_provider(
        length, "application/json",
        [this, body = std::move(body), pause, piece](size_t offset, size_t, httplib::DataSink& sink) {
          {
            std::unique_lock lock(mutex);
            if (delayWake.wait_for(lock, pause, [this] { return stopping; })) return false;
          }
          return sink.write(body.data() + offset, std::min(piece, body.size() - offset));
        });
  }

  std::unique_ptr<SelfSignedCertificate> certificate;
  std::filesystem::path certificatePath;
  bool ownsCertificateDirectory = false;
  BackendService service;

  std::unique_ptr<httplib::SSLServer> server;
  std::thread listening;
  int port = 0;
  int stalling = -1;  // the listener that never accepts, while connections stall

  mutable std::mutex mutex;
  std::condition_variable delayWake;
  mutable std::condition_variable arrived;
  bool stopping = false;
  std::map<std::string, std::deque<BackendReply>> replies;
  std::vector<RecordedRequest> recordedRequests;
  platform::dispatch::Seconds defaultDelay{0};
};

std::unique_ptr<BackendSimulator> BackendSimulator::start(Options options) {
  auto impl = std::make_unique<Impl>();
  impl->certificate = SelfSignedCertificate::make(options.certificateNames);
  if (!impl->certificate) return nullptr;
  std::filesystem::path directory = options.certificateDirectory;
  if (directory.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumo-backend-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return nullptr;
    directory = pattern;
    impl->ownsCertificateDirectory = true;
  }
  impl->certificatePath = directory / "backend-ca.pem";
  if (!impl->certificate->writePem(impl->certificatePath)) return nullptr;
  if (!impl->startServer(options.port)) return nullptr;
  return std::unique_ptr<BackendSimulator>(new BackendSimulator(std::move(impl)));
}

BackendSimulator::BackendSimulator(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
BackendSimulator::~BackendSimulator() = default;

std::string BackendSimulator::baseUrl() const { return "https://127.0.0.1:" + std::to_string(impl_->port); }
int BackendSimulator::port() const { return impl_->port; }
const std::filesystem::path& BackendSimulator::certificatePath() const { return impl_->certificatePath; }

bool BackendSimulator::trustInPlatform() const {
  return platform::net::TrustStore::addTrustedCertificateFile(impl_->certificatePath.string());
}

BackendService& BackendSimulator::world() { return impl_->service; }

void BackendSimulator::seedDemoWorld() {
  BackendService& service = impl_->service;
  service.addApp(kDemoAppKey, platform::foundation::BundleInfo::kDefaultIdentifier);
  service.addUser(kDemoToken, "演示用户");
  service.addVehicle({kDemoVin, 1, "配送车 001", kDemoBleName, true});
  service.addVehicle({"LUMO0DEMO00000002", 2, "配送车 002", "LUMO-V002", true});
}

void BackendSimulator::queueReply(const std::string& path, BackendReply reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->replies[path].push_back(std::move(reply));
}

std::size_t BackendSimulator::unusedReplies() const {
  std::lock_guard lock(impl_->mutex);
  std::size_t count = 0;
  for (const auto& [path, queued] : impl_->replies) count += queued.size();
  return count;
}

void BackendSimulator::setDelay(platform::dispatch::Seconds realDelay) {
  std::lock_guard lock(impl_->mutex);
  impl_->defaultDelay = realDelay;
}

void BackendSimulator::refuseConnections() { impl_->stopServer(); }

bool BackendSimulator::stallConnections() {
  impl_->stopServer();
  if (impl_->stalling >= 0) return true;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(impl_->port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    return false;
  }
  impl_->stalling = fd;
  return true;
}

bool BackendSimulator::acceptConnections() {
  impl_->stopStalling();
  if (impl_->server) return true;
  return impl_->startServer(impl_->port);
}

std::vector<RecordedRequest> BackendSimulator::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->recordedRequests;
}

std::vector<RecordedRequest> BackendSimulator::requestsTo(const std::string& path) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<RecordedRequest> matching;
  for (const auto& request : impl_->recordedRequests) {
    if (request.path == path) matching.push_back(request);
  }
  return matching;
}

void BackendSimulator::clearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->recordedRequests.clear();
}

}  // namespace sim

namespace sim {

bool BackendSimulator::waitForRequests(std::size_t count, platform::dispatch::Seconds realLimit) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->arrived.wait_for(lock, realLimit, [&] { return impl_->recordedRequests.size() >= count; });
}

}  // namespace sim
