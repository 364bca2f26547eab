#include "platform/dispatch/DispatchQueue.h"

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/TimeKeeper.h"
#include "platform/dispatch/WorkerPool.h"

namespace platform::dispatch {
namespace {

using detail::TimeKeeper;
using detail::WorkerPool;

// The queues whose blocks the calling thread is running, innermost last.
std::vector<const DispatchQueue*>& currentQueues() {
  thread_local std::vector<const DispatchQueue*> stack;
  return stack;
}

// Utility and background work runs on lower-priority threads.
WorkerPool& poolFor(QualityOfService qos) {
  bool low = qos == QualityOfService::background || qos == QualityOfService::utility;
  return WorkerPool::instance(low ? WorkerPool::Band::low : WorkerPool::Band::normal);
}

// Runs one block of `queue` on a worker thread as work in flight, then counts it out.
void runCounted(const DispatchQueue* queue, const Block& block) {
  auto& stack = currentQueues();
  stack.push_back(queue);
  TimeKeeper::threadCounted() = true;
  block();
  TimeKeeper::threadCounted() = false;
  stack.pop_back();
}

class MainQueue final : public DispatchQueue {
 public:
  MainQueue() : DispatchQueue("com.apple.main-thread", Kind::main, QualityOfService::userInteractive) {}
  void async(Block block) override { TimeKeeper::instance().postMain(std::move(block)); }
  void asyncBarrier(Block block) override { async(std::move(block)); }
};

class SerialQueue final : public DispatchQueue {
 public:
  SerialQueue(std::string label, QualityOfService qos) : DispatchQueue(std::move(label), Kind::serial, qos) {}

  void async(Block block) override {
    TimeKeeper::instance().beginWork();
    bool start = false;
    {
      std::lock_guard lock(mutex_);
      blocks_.push_back(std::move(block));
      start = !draining_;
      draining_ = true;
    }
    if (start) {
      poolFor(qos()).submit([self = shared_from_this()] { static_cast<SerialQueue*>(self.get())->drain(); });
    }
  }
  void asyncBarrier(Block block) override { async(std::move(block)); }

 private:
  // One worker runs the blocks in order until the queue is empty; blocks queued meanwhile join.
  void drain() {
    std::unique_lock lock(mutex_);
    while (!blocks_.empty()) {
      Block block = std::move(blocks_.front());
      blocks_.pop_front();
      lock.unlock();
      runCounted(this, block);
      block = nullptr;
      TimeKeeper::instance().endWork();
      lock.lock();
    }
    draining_ = false;
  }

  std::mutex mutex_;
  std::deque<Block> blocks_;
  bool draining_ = false;
};

class ConcurrentQueue final : public DispatchQueue {
 public:
  ConcurrentQueue(std::string label, QualityOfService qos, bool honoursBarriers)
      : DispatchQueue(std::move(label), Kind::concurrent, qos), honoursBarriers_(honoursBarriers) {}

  void async(Block block) override { enqueue(std::move(block), false); }
  // Global queues ignore barriers, as under GCD.
  void asyncBarrier(Block block) override { enqueue(std::move(block), honoursBarriers_); }

 private:
  struct Item {
    Block block;
    bool barrier;
  };

  void enqueue(Block block, bool barrier) {
    TimeKeeper::instance().beginWork();
    int starts;
    {
      std::lock_guard lock(mutex_);
      pending_.push_back({std::move(block), barrier});
      starts = releaseLocked();
    }
    startWorkers(starts);
  }

  // Marks the blocks that may start now (everything up to the next barrier, or the barrier
  // itself once nothing else runs) and returns how many. Released blocks are always the
  // front of `pending_`, so each worker simply takes the front one.
  int releaseLocked() {
    int starts = 0;
    while (released_ < pending_.size() && !barrierRunning_) {
      const Item& next = pending_[released_];
      if (next.barrier) {
        if (running_ + released_ > 0) break;
        barrierRunning_ = true;
      }
      ++released_;
      ++starts;
    }
    return starts;
  }

  void startWorkers(int count) {
    for (int i = 0; i < count; ++i) {
      poolFor(qos()).submit([self = shared_from_this()] { static_cast<ConcurrentQueue*>(self.get())->runFront(); });
    }
  }

  void runFront() {
    Item item;
    {
      std::lock_guard lock(mutex_);
      item = std::move(pending_.front());
      pending_.pop_front();
      --released_;
      ++running_;
    }
    runCounted(this, item.block);
    item.block = nullptr;
    int starts;
    {
      std::lock_guard lock(mutex_);
      --running_;
      if (item.barrier) barrierRunning_ = false;
      starts = releaseLocked();
    }
    startWorkers(starts);
    TimeKeeper::instance().endWork();
  }

  bool honoursBarriers_;
  std::mutex mutex_;
  std::deque<Item> pending_;
  size_t released_ = 0;  // blocks at the front of pending_ that workers are about to take
  size_t running_ = 0;
  bool barrierRunning_ = false;
};

}  // namespace

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
  static auto* queue = new std::shared_ptr<DispatchQueue>(std::make_shared<MainQueue>());
  return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(QualityOfService qos) {
  static auto* queues = [] {
    auto* all = new std::array<std::shared_ptr<DispatchQueue>, 6>;
    const char* labels[] = {"com.apple.root.background-qos", "com.apple.root.utility-qos",
                            "com.apple.root.unspecified-qos", "com.apple.root.default-qos",
                            "com.apple.root.user-initiated-qos", "com.apple.root.user-interactive-qos"};
    for (size_t i = 0; i < all->size(); ++i) {
      (*all)[i] = std::make_shared<ConcurrentQueue>(labels[i], static_cast<QualityOfService>(i), false);
    }
    return all;
  }();
  return (*queues)[static_cast<size_t>(qos)];
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label, QualityOfService qos) {
  return std::make_shared<SerialQueue>(std::move(label), qos);
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeConcurrent(std::string label, QualityOfService qos) {
  return std::make_shared<ConcurrentQueue>(std::move(label), qos, true);
}

bool DispatchQueue::isCurrent() const {
  if (kind_ == Kind::main) return MainLoop::isMainThread();
  const auto& stack = currentQueues();
  return std::find(stack.begin(), stack.end(), this) != stack.end();
}

void DispatchQueue::sync(Block block) {
  if (isCurrent()) {
    block();
    return;
  }
  Semaphore done;
  async([&] {
    block();
    done.signal();
  });
  done.wait();
}

void DispatchQueue::syncBarrier(Block block) {
  if (isCurrent()) {
    block();
    return;
  }
  Semaphore done;
  asyncBarrier([&] {
    block();
    done.signal();
  });
  done.wait();
}

void DispatchQueue::asyncAfter(Seconds delay, Block block) {
  auto& keeper = TimeKeeper::instance();
  MonoTime due = keeper.clock().now() + detail::toMono(delay);
  keeper.schedule(due, [queue = shared_from_this(), block = std::move(block)]() mutable {
    queue->async(std::move(block));
  });
}

}  // namespace platform::dispatch
