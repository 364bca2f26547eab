#include "platform/dispatch/WorkerPool.h"

#include <thread>

namespace platform::dispatch::detail {

WorkerPool& WorkerPool::instance() {
  static WorkerPool* pool = new WorkerPool;  // never destroyed: its threads outlive main()
  return *pool;
}

void WorkerPool::submit(std::function<void()> job) {
  bool spawn = false;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    // Idle threads not yet woken for earlier jobs are spoken for.
    if (idle_ < static_cast<int>(jobs_.size()) && threads_ < kMaxThreads) {
      ++threads_;
      spawn = true;
    }
  }
  if (spawn) {
    std::thread([this] { workerLoop(); }).detach();
  } else {
    available_.notify_one();
  }
}

void WorkerPool::workerLoop() {
  std::unique_lock lock(mutex_);
  while (true) {
    if (jobs_.empty()) {
      ++idle_;
      available_.wait(lock, [this] { return !jobs_.empty(); });
      --idle_;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
  }
}

}  // namespace platform::dispatch::detail
