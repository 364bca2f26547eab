#pragma once

// Private to platform/dispatch: the threads behind every background queue. Like GCD's pool it
// keeps about as many runnable workers as the machine has room for, and grows past that only
// when workers block (on a semaphore or the clock), so blocks that wait cannot starve the rest.
// Queues of the utility and background classes run on a second pool whose threads have a
// lower scheduling priority, so their work (SQLite, uploads) yields to the main thread.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/PlatformExport.h"

namespace platform::dispatch::detail {

class LUMO_PLATFORM_EXPORT WorkerPool {
 public:
  enum class Band { normal, low };
  static WorkerPool& instance(Band band = Band::normal);
  void submit(std::function<void()> job);

  // Called by a worker thread around a blocking wait.
  static bool isWorkerThread();
  // The pool that runs worker threads of the calling thread's band.
  static WorkerPool& current();
  void workerBlocked();
  void workerUnblocked();

 private:
  explicit WorkerPool(Band band);
  static constexpr int kMaxThreads = 256;
  // Lock held: starts a thread when queued jobs outnumber idle workers and few are runnable.
  bool shouldSpawnLocked() const;
  void spawnLocked();
  void workerLoop();

  const Band band_;
  std::mutex mutex_;
  std::condition_variable available_;
  std::deque<std::function<void()>> jobs_;
  std::atomic<size_t> queued_{0};
  int runnableLimit_;
  int threads_ = 0;
  int idle_ = 0;      // workers without a job, spinning or sleeping
  int sleeping_ = 0;  // idle workers waiting on the condition variable
  int blocked_ = 0;   // workers inside a job that waits
};

}  // namespace platform::dispatch::detail
