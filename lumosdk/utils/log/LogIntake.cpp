#include "lumosdk/utils/log/LogIntake.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <iterator>
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
  // What it counts against the intake's bound in bytes.
  std::size_t cost = 0;
  // The first record of a batch counts the batch as work in flight until it is handed on,
  // so a test driving virtual time waits for it instead of moving on.
  std::unique_ptr<Scheduler::WorkToken> inFlight;
};

// Set while this thread writes the intake's console lines: a sink that writes a line of its
// own must not ask for the backlog again (the intake's mutex is not recursive).
thread_local bool writingBacklog = false;

std::size_t costOf(const std::string& tag, const std::string& message) {
  return sizeof(Node) + tag.size() + message.size();
}

// Each level's share of the bound, in eighths: the lower the level, the sooner it is dropped.
std::size_t eighthsFor(LogPriority priority) {
  switch (priority) {
    case LogPriority::verbose: return 4;
    case LogPriority::debug: return 5;
    case LogPriority::info: return 6;
    case LogPriority::warn: return 7;
    case LogPriority::error: return 8;
  }
  return 4;
}

void raise(std::atomic<std::size_t>& peak, std::size_t value) {
  std::size_t seen = peak.load(std::memory_order_relaxed);
  while (value > seen && !peak.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
  }
}

class Intake {
 public:
  static Intake& shared() {
    static Intake* intake = new Intake;  // never destroyed: its thread runs until exit
    return *intake;
  }

  // Counts the record in if its level's share has room. Over-counts of callers racing past
  // the limit are taken back, so what is admitted never exceeds it.
  bool admit(LogPriority priority, std::size_t cost) {
    std::size_t eighths = eighthsFor(priority);
    std::size_t records = records_.fetch_add(1, std::memory_order_relaxed) + 1;
    std::size_t bytes = bytes_.fetch_add(cost, std::memory_order_relaxed) + cost;
    if (records > LogIntake::kMaxRecords / 8 * eighths || bytes > LogIntake::kMaxBytes / 8 * eighths) {
      release(1, cost);
      dropped_[index(priority)].fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    raise(peakRecords_, records);
    raise(peakBytes_, bytes);
    return true;
  }

  void release(std::size_t records, std::size_t bytes) {
    records_.fetch_sub(records, std::memory_order_relaxed);
    bytes_.fetch_sub(bytes, std::memory_order_relaxed);
  }

  void countDropped(LogPriority priority, std::uint64_t count) {
    dropped_[index(priority)].fetch_add(count, std::memory_order_relaxed);
  }

  LogIntake::Figures figures() const {
    return {records_.load(), bytes_.load(), peakRecords_.load(), peakBytes_.load()};
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
    records.reserve(nodes.size() + 1);
    std::size_t bytes = 0;
    for (Node* node : nodes) {
      records.push_back(std::move(node->record));
      bytes += node->cost;
      delete node;
    }
    release(nodes.size(), bytes);
    appendDropCount(records);
    return records;
  }

  // On logQueue. Taking and queueing happen under one lock so that batches reach the serial
  // dbQueue in the order they were taken, though logQueue is concurrent.
  void handOn() {
    std::lock_guard lock(mutex_);
    std::vector<Node*> nodes = detachLocked();
    if (nodes.empty() && !hasDrops()) return;
    std::vector<PendingRecord> batch;
    batch.reserve(nodes.size() + 1);
    std::size_t bytes = 0;
    for (Node* node : nodes) {
      batch.push_back(std::move(node->record));
      bytes += node->cost;
    }
    appendDropCount(batch);
    queueForStore(std::move(batch), nodes.size(), bytes);
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

  // Batches that pile up while the store is busy go in one transaction: a commit costs about
  // as much as a few hundred rows. A store is queued whenever records wait and none is, so
  // whatever dbQueue runs later finds every batch handed on before it was queued stored.
  void queueForStore(std::vector<PendingRecord> records, std::size_t count, std::size_t bytes) {
    std::lock_guard lock(storeMutex_);
    if (awaitingStore_.empty()) {
      awaitingStore_ = std::move(records);
    } else {
      std::move(records.begin(), records.end(), std::back_inserter(awaitingStore_));
    }
    awaitingCount_ += count;
    awaitingBytes_ += bytes;
    if (storeQueued_) return;
    storeQueued_ = true;
    LoggerState::shared().dbQueue->async([this] { storeAwaiting(); });
  }

  // On dbQueue. The records count against the bound until the store has them.
  void storeAwaiting() {
    std::vector<PendingRecord> records;
    std::size_t count = 0;
    std::size_t bytes = 0;
    {
      std::lock_guard lock(storeMutex_);
      records.swap(awaitingStore_);
      std::swap(count, awaitingCount_);
      std::swap(bytes, awaitingBytes_);
      storeQueued_ = false;
    }
    LogStore::saveLogsToDb(records);
    release(count, bytes);
  }

  static std::size_t index(LogPriority priority) {
    return static_cast<std::size_t>(std::clamp(rawValue(priority), 2, 6) - 2);
  }

  bool hasDrops() const {
    return std::any_of(dropped_.begin(), dropped_.end(), [](const auto& count) { return count.load() != 0; });
  }

  // The drops counted so far, as one record after the batch's own: it is itself never dropped.
  void appendDropCount(std::vector<PendingRecord>& records) {
    std::array<std::uint64_t, 5> counts{};
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
      counts[i] = dropped_[i].exchange(0, std::memory_order_relaxed);
      total += counts[i];
    }
    if (total == 0) return;
    std::string message = "Dropped " + std::to_string(total) + " records under load (verbose " +
                          std::to_string(counts[0]) + ", debug " + std::to_string(counts[1]) + ", info " +
                          std::to_string(counts[2]) + ", warn " + std::to_string(counts[3]) + ", error " +
                          std::to_string(counts[4]) + ")";
    records.push_back(PendingRecord{LogPriority::warn, "LogUtil", std::move(message)});
  }

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
  std::atomic<std::size_t> records_{0};
  std::atomic<std::size_t> bytes_{0};
  std::atomic<std::size_t> peakRecords_{0};
  std::atomic<std::size_t> peakBytes_{0};
  std::array<std::atomic<std::uint64_t>, 5> dropped_{};
  std::atomic<std::size_t> sinceDrain_{0};
  std::atomic<bool> asleep_{false};
  std::counting_semaphore<> batchStarted_{0};
  std::counting_semaphore<> batchFull_{0};
  // Held to take nodes, write their lines and free them: batches and lines keep one order.
  std::mutex mutex_;
  // Guards the records handed on and waiting for the store.
  std::mutex storeMutex_;
  std::vector<PendingRecord> awaitingStore_;
  std::size_t awaitingCount_ = 0;
  std::size_t awaitingBytes_ = 0;
  bool storeQueued_ = false;
};

}  // namespace

void LogIntake::add(LogPriority priority, std::string tag, std::string message) {
  auto& intake = Intake::shared();
  std::size_t cost = costOf(tag, message);
  if (!intake.admit(priority, cost)) return;
  auto* node = new Node;
  node->record = PendingRecord{priority, std::move(tag), std::move(message)};
  node->cost = cost;
  intake.add(node);
}

LogIntake::Figures LogIntake::figures() { return Intake::shared().figures(); }

void LogIntake::countDropped(LogPriority priority, std::uint64_t count) {
  Intake::shared().countDropped(priority, count);
}

void LogIntake::drainNow() {
  auto& intake = Intake::shared();
  LoggerState::shared().logQueue->async([&intake] { intake.handOn(); });
}

void LogIntake::handOnNow() { Intake::shared().handOn(); }

std::vector<PendingRecord> LogIntake::takeAll() { return Intake::shared().take(); }

}  // namespace lumo::logging
