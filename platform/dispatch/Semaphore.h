#pragma once

#include <memory>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Clock.h"

namespace platform::dispatch {

// Counting semaphore (dispatch_semaphore). A waiting thread does not count as work in flight.
class LUMO_PLATFORM_EXPORT Semaphore {
 public:
  explicit Semaphore(long count = 0);
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  void signal();
  void wait();
  // Returns false when `timeout` of clock time passed first.
  bool waitFor(Seconds timeout);

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace platform::dispatch
