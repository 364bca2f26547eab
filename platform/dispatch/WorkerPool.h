#pragma once

// Private to platform/dispatch: the threads behind every background queue. It grows a thread
// whenever work arrives and none is idle (blocks may wait on semaphores, as under GCD), up to a
// cap; idle threads stay for the life of the process.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace platform::dispatch::detail {

class WorkerPool {
 public:
  static WorkerPool& instance();
  void submit(std::function<void()> job);

 private:
  static constexpr int kMaxThreads = 128;
  void workerLoop();

  std::mutex mutex_;
  std::condition_variable available_;
  std::deque<std::function<void()>> jobs_;
  int idle_ = 0;
  int threads_ = 0;
};

}  // namespace platform::dispatch::detail
