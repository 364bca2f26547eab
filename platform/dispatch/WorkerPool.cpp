#include "platform/dispatch/WorkerPool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace platform::dispatch::detail {
namespace {
thread_local WorkerPool* tlsPool = nullptr;
// The nice value of the low band's threads.
constexpr int kLowBandNice = 10;
// An idle worker looks for new work this long before it sleeps: a busy queue then hands
// blocks over without a wake-up system call.
constexpr auto kSpin = std::chrono::microseconds(50);
}  // namespace

WorkerPool& WorkerPool::instance(Band band) {
  // Never destroyed: their threads outlive main().
  static WorkerPool* normal = new WorkerPool(Band::normal);
  static WorkerPool* low = new WorkerPool(Band::low);
  return band == Band::low ? *low : *normal;
}

WorkerPool& WorkerPool::current() { return tlsPool ? *tlsPool : instance(); }

WorkerPool::WorkerPool(Band band) : band_(band), runnableLimit_(std::max(4, 2 * static_cast<int>(std::thread::hardware_concurrency()))) {}

bool WorkerPool::isWorkerThread() { return tlsPool != nullptr; }

bool WorkerPool::shouldSpawnLocked() const {
  return static_cast<int>(jobs_.size()) > idle_ && threads_ - blocked_ - idle_ < runnableLimit_ &&
         threads_ < kMaxThreads;
}

void WorkerPool::spawnLocked() {
  ++threads_;
  ++idle_;  // counted idle until it takes its first job
  std::thread([this] {
    tlsPool = this;
    // Per-thread on Linux; a failure only leaves the thread at normal priority.
    if (band_ == Band::low) (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kLowBandNice);
    workerLoop();
  }).detach();
}

void WorkerPool::submit(std::function<void()> job) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    queued_.fetch_add(1, std::memory_order_release);
    if (shouldSpawnLocked()) {
      spawnLocked();
    } else {
      wake = sleeping_ > 0 && idle_ - sleeping_ < static_cast<int>(jobs_.size());
    }
  }
  if (wake) available_.notify_one();
}

void WorkerPool::workerBlocked() {
  std::lock_guard lock(mutex_);
  ++blocked_;
  if (shouldSpawnLocked()) spawnLocked();
}

void WorkerPool::workerUnblocked() {
  std::lock_guard lock(mutex_);
  --blocked_;
}

void WorkerPool::workerLoop() {
  std::unique_lock lock(mutex_);
  --idle_;
  while (true) {
    if (jobs_.empty()) {
      ++idle_;
      lock.unlock();
      auto until = std::chrono::steady_clock::now() + kSpin;
      while (queued_.load(std::memory_order_acquire) == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
      }
      lock.lock();
      if (jobs_.empty()) {
        ++sleeping_;
        available_.wait(lock, [this] { return !jobs_.empty(); });
        --sleeping_;
      }
      --idle_;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    queued_.fetch_sub(1, std::memory_order_release);
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
  }
}

}  // namespace platform::dispatch::detail
