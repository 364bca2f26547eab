#include "lumosdk/utils/log/LogUploader.h"


#include <chrono>
#include <memory>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/NetworkUtil.h"
#include "lumosdk/utils/log/LogIntake.h"
#include "lumosdk/utils/log/LogStore.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/foundation/SystemLog.h"
#include "platform/ui/Application.h"

namespace lumo::logging {
namespace {

using namespace std::chrono_literals;
using platform::dispatch::DispatchQueue;
using platform::dispatch::Semaphore;
using platform::dispatch::TimerSource;
using platform::foundation::NotificationCenter;
using platform::foundation::SystemLog;
using platform::ui::Application;

// A forced upload waits this long at most for a running one; the host's completion (a
// background task) must run even when an upload over a slow link takes longer.
constexpr int kMaxWaitPolls = 300;

bool accepted(const NetworkUtil::Result& result) {
  if (!result.isSuccess()) return false;
  const auto& envelope = result.envelope();
  if (!envelope.is_object()) return false;
  auto code = envelope.find("code");
  return code != envelope.end() && code->is_number_integer() && code->get<long long>() == 0;
}

std::size_t memoryCount() {
  std::size_t count = 0;
  LoggerState::shared().memoryLogsQueue->sync([&count] { count = LoggerState::shared().memoryLogs.size(); });
  return count;
}

// A forced upload also carries what was logged just before it (the host may be about to be
// killed): those records go to the store or the memory buffer first, behind the batches
// already on their way, so they keep their order.
void storeRecordsLoggedSoFar() {
  LogIntake::handOnNow();
  LoggerState::shared().dbQueue->sync([] {});
}

void call(const LogUploader::Completion& completion, bool delivered) {
  if (completion) completion(delivered);
}

}  // namespace

void LogUploader::setupTimers() {
  auto& state = LoggerState::shared();
  cancelTimers();
  auto upload = TimerSource::make(state.uploadQueue);
  upload->schedule(10s, 60s);
  upload->setEventHandler([] { sendLogsTask(); });
  upload->resume();

  auto cleanup = TimerSource::make(state.dbQueue);
  cleanup->schedule(120s, 3600s);
  cleanup->setEventHandler([] {
    if (!LoggerState::shared().isShuttingDown) LogStore::performDB([] { LogStore::cleanupTask(); });
  });
  cleanup->resume();

  std::lock_guard lock(state.timersMutex);
  state.uploadTimer = std::move(upload);
  state.cleanupTimer = std::move(cleanup);
}

void LogUploader::cancelTimers() {
  auto& state = LoggerState::shared();
  std::lock_guard lock(state.timersMutex);
  if (state.uploadTimer) state.uploadTimer->cancel();
  if (state.cleanupTimer) state.cleanupTimer->cancel();
  state.uploadTimer.reset();
  state.cleanupTimer.reset();
}

void LogUploader::registerBackgroundNotification() {
  auto& state = LoggerState::shared();
  if (state.isBackgroundObserverRegistered) return;
  auto& center = NotificationCenter::defaultCenter();
  std::lock_guard lock(state.observersMutex);
  state.backgroundObserver =
      center.addObserver(Application::kDidEnterBackgroundNotification, [] { handleAppDidEnterBackground(); });
  state.terminateObserver = center.addObserver(Application::kWillTerminateNotification, [] {
    SystemLog::info("App will terminate, flushing logs");
    LogUtil::flushAndClose();
  });
  state.isBackgroundObserverRegistered = true;
  SystemLog::debug("Background notification observers registered");
}

void LogUploader::unregisterBackgroundNotification() {
  auto& state = LoggerState::shared();
  if (!state.isBackgroundObserverRegistered) return;
  auto& center = NotificationCenter::defaultCenter();
  std::lock_guard lock(state.observersMutex);
  center.removeObserver(state.backgroundObserver);
  center.removeObserver(state.terminateObserver);
  state.backgroundObserver = 0;
  state.terminateObserver = 0;
  state.isBackgroundObserverRegistered = false;
}

void LogUploader::sendLogsTask() {
  auto& state = LoggerState::shared();
  if (state.isShuttingDown) return;
  if (state.isUploading) {
    SystemLog::debug("Upload already in progress");
    return;
  }
  state.isUploading = true;
  if (memoryCount() > 0) {
    // A round that uploads memory entries leaves the database for the next round.
    sendMemoryLogsToServer(nullptr);
    return;
  }
  if (!state.dbOpenFailed && LogStore::isOpen()) {
    bool queued = LogStore::performDB([] {
      auto batch = LogStore::readBatch();
      if (batch.failed || batch.rows.empty()) {
        LoggerState::shared().isUploading = false;
        return;
      }
      sendLogsToServer(std::move(batch.rows), nullptr);
    });
    // Refused because shutdown began: nothing is in flight, and a flag left set would stall
    // every round of a logger started again later.
    if (!queued) state.isUploading = false;
    return;
  }
  state.isUploading = false;
}

void LogUploader::sendMemoryLogsToServer(Completion completion) {
  auto& state = LoggerState::shared();
  auto url = state.serverUrl();
  if (!url) {
    state.isUploading = false;
    call(completion, false);
    return;
  }
  nlohmann::json logs = nlohmann::json::array();
  std::uint64_t lastSent = 0;
  state.memoryLogsQueue->sync([&logs, &lastSent] {
    auto& state = LoggerState::shared();
    // Overflow pushed every entry of the failed upload out: nothing is left to resend.
    if (!state.memoryLogs.empty() && state.memoryLogs.front().sequence > state.memoryResendUpTo) {
      state.memoryResendUpTo = 0;
    }
    for (const auto& entry : state.memoryLogs) {
      if (state.memoryResendUpTo != 0 && entry.sequence > state.memoryResendUpTo) break;
      logs.push_back({{"priority", entry.priority},
                      {"tag", entry.tag},
                      {"message", entry.message},
                      {"timestamp", entry.timestamp}});
      lastSent = entry.sequence;
    }
  });
  if (logs.empty()) {
    state.isUploading = false;
    call(completion, true);
    return;
  }
  NetworkUtil::DeviceHeaders headers = {{"Idempotency-Key", idempotencyKey(logs)}};
  NetworkUtil::postBackground(*url, makeBody(std::move(logs)),
                              [lastSent, completion](const NetworkUtil::Result& result) {
                                auto& state = LoggerState::shared();
                                if (!accepted(result)) {
                                  // The backend may have kept them: the same entries go next.
                                  state.memoryLogsQueue->asyncBarrier(
                                      [lastSent] { LoggerState::shared().memoryResendUpTo = lastSent; });
                                  state.isUploading = false;
                                  call(completion, false);
                                  return;
                                }
                                // Entries leave only from the front, so the ones sent that are
                                // still here are those up to the last one sent; anything
                                // cached meanwhile stays, even when overflow made room for it.
                                state.memoryLogsQueue->asyncBarrier([lastSent] {
                                  auto& state = LoggerState::shared();
                                  auto& logs = state.memoryLogs;
                                  while (!logs.empty() && logs.front().sequence <= lastSent) logs.pop_front();
                                  state.memoryResendUpTo = 0;
                                });
                                state.isUploading = false;
                                call(completion, true);
                              },
                              headers);
}

void LogUploader::sendLogsToServer(std::vector<LogRow> rows, Completion completion) {
  auto& state = LoggerState::shared();
  auto url = state.serverUrl();
  if (!url) {
    SystemLog::error("Server URL not set");
    state.isUploading = false;
    call(completion, false);
    return;
  }
  std::vector<std::int64_t> ids;
  ids.reserve(rows.size());
  for (const auto& row : rows) ids.push_back(row.id);
  nlohmann::json logs = makeLogs(rows);
  NetworkUtil::DeviceHeaders headers = {{"Idempotency-Key", idempotencyKey(logs)}};
  NetworkUtil::postBackground(*url, makeBody(std::move(logs)),
                              [ids = std::move(ids), completion](const NetworkUtil::Result& result) mutable {
                                bool delivered = accepted(result);
                                // Queued on dbQueue before the flag clears, so the next batch read sees it.
                                if (delivered) {
                                  LogStore::deleteLogsFromDb(std::move(ids));
                                } else {
                                  LogStore::incrementRetryCount(std::move(ids));
                                }
                                LoggerState::shared().isUploading = false;
                                call(completion, delivered);
                              },
                              headers);
}

void LogUploader::forceUploadLogs(std::function<void()> completion) {
  auto& state = LoggerState::shared();
  if (!state.isInitialized || state.isShuttingDown) {
    SystemLog::info("Logger not initialized or shutting down, skipping force upload");
    if (completion) completion();
    return;
  }
  if (state.isUploading) SystemLog::debug("Upload already in progress, waiting to complete");
  uploadLogsAndComplete(std::move(completion));
}

void LogUploader::uploadLogsAndComplete(std::function<void()> completion) {
  LoggerState::shared().uploadQueue->async([completion = std::move(completion)] {
    auto& state = LoggerState::shared();
    // Every upload starts on this serial queue, so waiting for the flag here and setting it
    // below cannot let a timer round start in between.
    for (int poll = 0; poll < kMaxWaitPolls && state.isUploading; ++poll) {
      platform::dispatch::sleepFor(100ms);
    }
    if (state.isUploading) {
      // Still running (a large batch over a slow link): a second upload beside it would send
      // the same records again.
      SystemLog::error("Upload still in progress, skipping force upload");
      if (completion) completion();
      return;
    }
    storeRecordsLoggedSoFar();
    Semaphore done;
    if (std::size_t pending = memoryCount(); pending > 0) {
      state.isUploading = true;
      SystemLog::info("Force uploading " + std::to_string(pending) + " memory logs");
      sendMemoryLogsToServer([&done](bool delivered) {
        if (delivered) {
          SystemLog::info("Memory logs uploaded successfully");
        } else {
          SystemLog::error("Failed to upload memory logs");
        }
        done.signal();
      });
      done.wait();
    }
    if (!state.dbOpenFailed && LogStore::isOpen()) {
      SystemLog::info("Force uploading database logs");
      state.isUploading = true;
      bool queued = LogStore::performDB([&done] {
        auto& state = LoggerState::shared();
        if (!state.db) {
          state.isUploading = false;
          done.signal();
          return;
        }
        auto batch = LogStore::readBatch();
        if (batch.failed) {
          SystemLog::error(state.db ? "Failed to prepare query: " + batch.error.value_or("unknown error")
                                    : std::string("Failed to prepare query: database connection lost"));
          state.isUploading = false;
          done.signal();
          return;
        }
        if (batch.rows.empty()) {
          SystemLog::debug("No database logs to upload");
          state.isUploading = false;
          done.signal();
          return;
        }
        sendLogsToServer(std::move(batch.rows), [&done](bool delivered) {
          if (delivered) {
            SystemLog::info("Database logs uploaded successfully");
          } else {
            SystemLog::error("Failed to upload database logs");
          }
          done.signal();
        });
      });
      // Refused because shutdown began: nothing will signal, so do not wait.
      if (queued) {
        done.wait();
      } else {
        state.isUploading = false;
      }
    }
    if (completion) completion();
  });
}

void LogUploader::handleAppDidEnterBackground() {
  SystemLog::info("App did enter background, uploading logs");
  // Shared by the expiration handler and the completion: whichever runs first ends the task.
  auto task = std::make_shared<std::atomic<Application::BackgroundTaskIdentifier>>(Application::kInvalidBackgroundTask);
  auto endTask = [task] {
    auto identifier = task->exchange(Application::kInvalidBackgroundTask);
    if (identifier == Application::kInvalidBackgroundTask) return;
    DispatchQueue::main()->async([identifier] { Application::shared().endBackgroundTask(identifier); });
  };
  task->store(Application::shared().beginBackgroundTask("LumoLogUpload", endTask));
  forceUploadLogs(endTask);
}

}  // namespace lumo::logging
