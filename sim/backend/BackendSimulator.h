#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "sim/backend/BackendReply.h"
#include "sim/backend/BackendService.h"
#include "sim/backend/RecordedRequest.h"

namespace sim {

// The operator's backend on loopback: an HTTPS server with a self-signed certificate made at
// start (written as a PEM file a client can add to its trust store) that answers the SDK's
// five endpoints through a BackendService. It records every request and can be scripted to
// misbehave: given codes, HTTP 500 with an envelope, bodies that are not JSON objects,
// undecryptable data, real delays, dropped connections, refused connections.
class BackendSimulator {
 public:
  // The port the development environment points at unless the host names another backend.
  static constexpr int kDefaultPort = 18443;
  // What seedDemoWorld() sets up.
  static constexpr const char* kDemoAppKey = "lumo-demo-app-key";
  static constexpr const char* kDemoToken = "lumo-demo-token";
  static constexpr const char* kDemoVin = "LUMO0DEMO00000001";
  static constexpr const char* kDemoBleName = "LUMO-V001";

  struct Options {
    int port = 0;  // 0: any free port
    // Where the certificate PEM goes; empty: a private temporary folder removed at the end.
    std::filesystem::path certificateDirectory;
    std::vector<std::string> certificateNames = {"127.0.0.1", "localhost"};
  };

  // Nothing when the certificate cannot be made or the port cannot be bound.
  static std::unique_ptr<BackendSimulator> start(Options options);
  static std::unique_ptr<BackendSimulator> start() { return start(Options{}); }
  ~BackendSimulator();

  // "https://127.0.0.1:<port>", no trailing slash.
  std::string baseUrl() const;
  int port() const;
  const std::filesystem::path& certificatePath() const;
  // Adds the certificate to the platform's trust store (what a device owner would install).
  bool trustInPlatform() const;

  // The backend's data: apps, users, tokens, vehicles, uploaded logs.
  BackendService& world();
  // A demo app, user and vehicles (the demo host and the backend program use them).
  void seedDemoWorld();

  // The next request to `path` gets `reply` instead of the normal answer (first in, first out).
  void queueReply(const std::string& path, BackendReply reply);
  std::size_t unusedReplies() const;
  // Every normal answer leaves after this much real time.
  void setDelay(platform::dispatch::Seconds realDelay);
  // Closes the listening socket: connections are refused until acceptConnections().
  void refuseConnections();
  // Connections are taken in but never answered until acceptConnections(): the TCP handshake
  // completes in the kernel and TLS never starts, so a client runs into its connect limit.
  bool stallConnections();
  bool acceptConnections();

  std::vector<RecordedRequest> requests() const;
  std::vector<RecordedRequest> requestsTo(const std::string& path) const;
  void clearRequests();
  // Blocks until `count` requests have arrived or `realLimit` passed: a sync point for tests
  // that must act while a transfer is held open (the main loop does not poll during one).
  bool waitForRequests(std::size_t count, platform::dispatch::Seconds realLimit) const;

  class Impl;

 private:
  explicit BackendSimulator(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
