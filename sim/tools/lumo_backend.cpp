// lumo_backend: the backend simulator as a program, for running the demo against a backend in
// another process. It serves the demo world on 127.0.0.1 and prints where its certificate is;
// point the demo at it with `lumodemo --backend <url> --ca <that file>`.
//
//   lumo_backend [--port N] [--cert-dir DIR]

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/backend/BackendSimulator.h"

int main(int argc, char** argv) {
  sim::BackendSimulator::Options options;
  options.port = sim::BackendSimulator::kDefaultPort;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--port" && i + 1 < argc) {
      options.port = std::atoi(argv[++i]);
    } else if (argument == "--cert-dir" && i + 1 < argc) {
      options.certificateDirectory = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--port N] [--cert-dir DIR]\n", argv[0]);
      return 2;
    }
  }

  // Block the stop signals before any thread starts, so that only sigwait below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  auto backend = sim::BackendSimulator::start(options);
  if (!backend) {
    std::fprintf(stderr, "lumo_backend: cannot start on 127.0.0.1:%d\n", options.port);
    return 1;
  }
  backend->seedDemoWorld();
  std::printf("lumo_backend listening on %s\n", backend->baseUrl().c_str());
  std::printf("certificate: %s\n", backend->certificatePath().c_str());
  std::printf("app key: %s  token: %s  vin: %s\n", sim::BackendSimulator::kDemoAppKey,
              sim::BackendSimulator::kDemoToken, sim::BackendSimulator::kDemoVin);
  std::fflush(stdout);

  int received = 0;
  sigwait(&stopSignals, &received);
  std::printf("lumo_backend: %zu requests served, stopping\n", backend->requests().size());
  return 0;
}
