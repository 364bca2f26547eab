#include "lumosdk/utils/log/LoggerState.h"

#include "lumosdk/utils/log/LogIntake.h"
#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LogUploader.h"
#include "lumosdk/utils/log/Utf8.h"
#include "platform/dispatch/Scheduler.h"

namespace lumo::logging {

using platform::dispatch::DispatchQueue;
using platform::dispatch::QualityOfService;

LoggerState& LoggerState::shared() {
  // Never destroyed: queue workers may still run logger blocks while the process exits.
  static LoggerState* state = new LoggerState;
  return *state;
}

LoggerState::LoggerState()
    : logQueue(DispatchQueue::makeConcurrent("com.nimbo.logger.log", QualityOfService::utility)),
      dbQueue(DispatchQueue::makeSerial("com.nimbo.logger.db", QualityOfService::background)),
      memoryLogsQueue(DispatchQueue::makeConcurrent("com.nimbo.logger.memory", QualityOfService::unspecified)),
      uploadQueue(DispatchQueue::makeSerial("com.nimbo.logger.upload", QualityOfService::background)) {}

void LoggerState::resetForTesting() {
  auto& state = shared();
  LogUploader::cancelTimers();
  LogUploader::unregisterBackgroundNotification();
  (void)LogIntake::takeAll();
  state.logQueue->syncBarrier([] {});
  state.dbQueue->sync([] { LogStore::close(); });
  state.memoryLogsQueue->syncBarrier([&state] {
    state.memoryLogs.clear();
    state.memoryResendUpTo = 0;
  });
  {
    std::lock_guard lock(state.valuesMutex_);
    state.serverUrl_.reset();
    state.userInfo_.reset();
  }
  state.isInitialized = false;
  state.isShuttingDown = false;
  state.isUploading = false;
  state.dbOpenFailed = false;
  state.isBackgroundObserverRegistered = false;
}

std::optional<std::string> LoggerState::serverUrl() const {
  std::lock_guard lock(valuesMutex_);
  return serverUrl_;
}

void LoggerState::setServerUrl(std::string url) {
  std::lock_guard lock(valuesMutex_);
  serverUrl_ = std::move(url);
}

std::optional<nlohmann::json> LoggerState::userInfo() const {
  std::lock_guard lock(valuesMutex_);
  return userInfo_;
}

void LoggerState::setUserInfo(nlohmann::json info) {
  std::lock_guard lock(valuesMutex_);
  userInfo_ = std::move(info);
}

void cacheLogInMemory(LogPriority priority, std::string tag, std::string message) {
  auto& state = LoggerState::shared();
  state.memoryLogsQueue->asyncBarrier(
      [priority, tag = std::move(tag), message = std::move(message)]() mutable {
        auto& state = LoggerState::shared();
        auto& logs = state.memoryLogs;
        // Full: the oldest entry goes, so the newest records win; the loss is counted.
        if (logs.size() >= kMemoryLogLimit) {
          LogIntake::countDropped(logPriorityFromRaw(logs.front().priority).value_or(LogPriority::debug));
          logs.pop_front();
        }
        // Bounded like a stored message.
        message = truncateCharacters(std::move(message), LogStore::kMaxMessageCharacters);
        double now = platform::dispatch::Scheduler::clock().wallMillis();
        logs.push_back(MemoryEntry{rawValue(priority), std::move(tag), std::move(message), now,
                                   state.nextMemorySequence++});
      });
}

}  // namespace lumo::logging
