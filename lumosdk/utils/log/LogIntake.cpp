#include "lumosdk/utils/log/LogIntake.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <semaphore>
#include <span>
#include <thread>
#include <vector>

#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/ConsoleLog.h"

namespace lumo::logging {
namespace {

using platform::dispatch::Scheduler;
using platform::foundation::ConsoleLog;

struct Node {
  PendingRecord record;
  Node* next = nullptr;
  // Its console line is out. Read and written only under the intake's mutex.
  bool printed = false;
  // The first record of a batch counts the batch as work in flight until it is handed on,
  // so a test driving virtual time waits for it instead of moving on.
  std::unique_ptr<Scheduler::WorkToken> inFlight;
};

// Set while this thread writes the intake's console lines: a sink that writes a line of its
// own must not ask for the backlog again (the intake's mutex is not recursive).
thread_local bool writingBacklog = false;

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
      if (head_.compare_exchange_weak(head, node, std::memory_order_seq_cst, std::memory_order_relaxed)) break;
    }
    if (head == nullptr) {
      // Only a flusher that went to sleep needs waking; one that is ticking finds the batch.
      if (asleep_.exchange(false, std::memory_order_seq_cst)) batchStarted_.release();
    } else if (sinceDrain_.fetch_add(1, std::memory_order_relaxed) + 1 == LogIntake::kBatchLimit) {
      batchFull_.release();
    }
  }

  // Oldest first, console lines written.
  std::vector<PendingRecord> take() {
    std::lock_guard lock(mutex_);
    std::vector<Node*> nodes = detachLocked();
    std::vector<PendingRecord> records;
    records.reserve(nodes.size());
    for (Node* node : nodes) {
      records.push_back(std::move(node->record));
      delete node;
    }
    return records;
  }

  // On logQueue. Taking and queueing happen under one lock so that batches reach the serial
  // dbQueue in the order they were taken, though logQueue is concurrent.
  void handOn() {
    std::lock_guard lock(mutex_);
    std::vector<Node*> nodes = detachLocked();
    if (nodes.empty()) return;
    auto batch = std::make_shared<std::vector<PendingRecord>>();
    batch->reserve(nodes.size());
    for (Node* node : nodes) batch->push_back(std::move(node->record));
    LoggerState::shared().dbQueue->async([batch] { LogStore::saveLogsToDb(*batch); });
    // Only now, with the batch queued (and counted) on dbQueue, may the tokens go.
    for (Node* node : nodes) delete node;
  }

  // Any thread: the console lines of records still gathering, oldest first. Their records
  // stay where they are and go on with the next batch.
  // Always under the lock, even when the list looks empty: a batch just detached by another
  // thread may still be printing, and a line written now would overtake it.
  void writeBacklog() {
    if (writingBacklog) return;
    std::lock_guard lock(mutex_);
    std::vector<Node*> unprinted;
    // Lines go out oldest first, so the records not yet printed are the newest ones.
    for (Node* node = head_.load(std::memory_order_acquire); node != nullptr && !node->printed; node = node->next) {
      unprinted.push_back(node);
    }
    std::reverse(unprinted.begin(), unprinted.end());
    printLocked(unprinted);
  }

 private:
  Intake() {
    ConsoleLog::setBacklog([] { Intake::shared().writeBacklog(); });
    std::thread([this] { run(); }).detach();
  }

  // Ticks once per interval while records keep coming, so a steady stream of log calls
  // wakes no thread; after a second without records it sleeps until a caller opens a batch.
  // Real time on purpose: the batch window is about the caller's cost, not about the
  // logger's behaviour, which a virtual clock would freeze.
  void run() {
    int idleTicks = 0;
    for (;;) {
      (void)batchFull_.try_acquire_for(LogIntake::kInterval);
      if (head_.load(std::memory_order_acquire) != nullptr) {
        idleTicks = 0;
        LoggerState::shared().logQueue->async([this] { handOn(); });
        continue;
      }
      if (++idleTicks < kIdleTicksBeforeSleep) continue;
      idleTicks = 0;
      asleep_.store(true, std::memory_order_seq_cst);
      // A caller that opened a batch before it could see the flag asleep has not woken us:
      // take the flag back and go on. If a caller took it, its wake-up is ours to consume.
      if (head_.load(std::memory_order_seq_cst) != nullptr && asleep_.exchange(false, std::memory_order_seq_cst)) {
        continue;
      }
      batchStarted_.acquire();
    }
  }

  static constexpr int kIdleTicksBeforeSleep = 200;

  // Under mutex_: the whole list, oldest first, every console line written.
  std::vector<Node*> detachLocked() {
    Node* node = head_.exchange(nullptr, std::memory_order_acquire);
    sinceDrain_.store(0, std::memory_order_relaxed);
    std::vector<Node*> nodes;
    for (; node != nullptr; node = node->next) nodes.push_back(node);
    std::reverse(nodes.begin(), nodes.end());
    auto firstUnprinted = std::find_if(nodes.begin(), nodes.end(), [](Node* each) { return !each->printed; });
    printLocked({firstUnprinted, nodes.end()});
    return nodes;
  }

  // Under mutex_: one console line per record, "tag:message", in the given order.
  void printLocked(std::span<Node* const> nodes) {
    if (nodes.empty()) return;
    std::vector<ConsoleLog::Line> lines;
    lines.reserve(nodes.size());
    for (Node* node : nodes) {
      lines.push_back({node->record.tag, ":", node->record.message});
      node->printed = true;
    }
    writingBacklog = true;
    ConsoleLog::writeFromBacklog(lines);
    writingBacklog = false;
  }

  std::atomic<Node*> head_{nullptr};
  std::atomic<std::size_t> sinceDrain_{0};
  std::atomic<bool> asleep_{false};
  std::counting_semaphore<> batchStarted_{0};
  std::counting_semaphore<> batchFull_{0};
  // Held to take nodes, write their lines and free them: batches and lines keep one order.
  std::mutex mutex_;
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

void LogIntake::handOnNow() { Intake::shared().handOn(); }

std::vector<PendingRecord> LogIntake::takeAll() { return Intake::shared().take(); }

}  // namespace lumo::logging
