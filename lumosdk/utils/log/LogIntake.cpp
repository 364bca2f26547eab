#include "lumosdk/utils/log/LogIntake.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>

#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/dispatch/Scheduler.h"

namespace lumo::logging {
namespace {

using platform::dispatch::Scheduler;

struct Node {
  PendingRecord record;
  Node* next = nullptr;
  // The first record of a batch counts the batch as work in flight until it is handed on,
  // so a test driving virtual time waits for it instead of moving on.
  std::unique_ptr<Scheduler::WorkToken> inFlight;
};

class Intake {
 public:
  static Intake& shared() {
    static Intake* intake = new Intake;  // never destroyed: its thread runs until exit
    return *intake;
  }

  void add(Node* node) {
    Node* head = head_.load(std::memory_order_relaxed);
    for (;;) {
      node->next = head;
      // Whoever finds the list empty opens a batch.
      if (head == nullptr && !node->inFlight) node->inFlight = std::make_unique<Scheduler::WorkToken>();
      if (head != nullptr && node->inFlight) node->inFlight.reset();
      if (head_.compare_exchange_weak(head, node, std::memory_order_release, std::memory_order_relaxed)) break;
    }
    if (head == nullptr) {
      batchStarted_.release();
    } else if (sinceDrain_.fetch_add(1, std::memory_order_relaxed) + 1 == LogIntake::kBatchLimit) {
      batchFull_.release();
    }
  }

  // Oldest first.
  std::vector<PendingRecord> take() {
    Node* node = head_.exchange(nullptr, std::memory_order_acquire);
    sinceDrain_.store(0, std::memory_order_relaxed);
    std::vector<PendingRecord> records;
    std::vector<Node*> nodes;
    for (; node != nullptr; node = node->next) nodes.push_back(node);
    records.reserve(nodes.size());
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      records.push_back(std::move((*it)->record));
      delete *it;
    }
    return records;
  }

  // On logQueue. Taking and queueing happen under one lock so that batches reach the serial
  // dbQueue in the order they were taken, though logQueue is concurrent.
  void handOn() {
    std::lock_guard lock(handOnMutex_);
    Node* node = head_.exchange(nullptr, std::memory_order_acquire);
    sinceDrain_.store(0, std::memory_order_relaxed);
    if (node == nullptr) return;
    std::vector<Node*> nodes;
    for (; node != nullptr; node = node->next) nodes.push_back(node);
    auto batch = std::make_shared<std::vector<PendingRecord>>();
    batch->reserve(nodes.size());
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) batch->push_back(std::move((*it)->record));
    LoggerState::shared().dbQueue->async([batch] { LogStore::saveLogsToDb(*batch); });
    // Only now, with the batch queued (and counted) on dbQueue, may the tokens go.
    for (Node* each : nodes) delete each;
  }

 private:
  Intake() {
    std::thread([this] { run(); }).detach();
  }

  void run() {
    for (;;) {
      batchStarted_.acquire();
      // Real time on purpose: the batch window is about the caller's cost, not about the
      // logger's behaviour, which a virtual clock would freeze.
      (void)batchFull_.try_acquire_for(LogIntake::kInterval);
      LoggerState::shared().logQueue->async([this] { handOn(); });
    }
  }

  std::atomic<Node*> head_{nullptr};
  std::atomic<std::size_t> sinceDrain_{0};
  std::counting_semaphore<> batchStarted_{0};
  std::counting_semaphore<> batchFull_{0};
  std::mutex handOnMutex_;
};

}  // namespace

void LogIntake::add(LogPriority priority, std::string tag, std::string message) {
  auto* node = new Node;
  node->record = PendingRecord{priority, std::move(tag), std::move(message)};
  Intake::shared().add(node);
}

void LogIntake::drainNow() {
  auto& intake = Intake::shared();
  LoggerState::shared().logQueue->async([&intake] { intake.handOn(); });
}

std::vector<PendingRecord> LogIntake::takeAll() { return Intake::shared().take(); }

}  // namespace lumo::logging
