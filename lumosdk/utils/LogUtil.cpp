#include "lumosdk/utils/LogUtil.h"

#include <thread>

#include "lumosdk/utils/log/LogIntake.h"
#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LogUploader.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "lumosdk/utils/log/Utf8.h"
#include "platform/dispatch/MainLoop.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/DeviceInfo.h"
#include "platform/foundation/SystemLog.h"

namespace lumo {

using logging::LoggerState;
using logging::LogStore;
using logging::LogUploader;
using platform::foundation::SystemLog;

void LogUtil::initialize(const std::string& serverUrl) {
  auto& state = LoggerState::shared();
  if (state.isInitialized.exchange(true)) {
    SystemLog::info("LogUtil already initialized");
    return;
  }
  // After a completed shutdown (a host that called deInit and then initSdk again) the logger
  // starts afresh instead of refusing every record for the rest of the process.
  state.isShuttingDown = false;
  state.setServerUrl(serverUrl);
  state.dbOpenFailed = false;
  auto start = [] {
    LogStore::initDatabase();
    LogUploader::setupTimers();
    LogUploader::registerBackgroundNotification();
  };
  if (platform::dispatch::MainLoop::isMainThread()) {
    start();
  } else {
    platform::dispatch::DispatchQueue::main()->sync(start);
  }
}

void LogUtil::log(LogPriority priority, std::optional<std::string> tag, std::string message) {
  auto& state = LoggerState::shared();
  if (!state.isInitialized.load(std::memory_order_acquire)) return;
  // Counted in before the shutdown check, so that flushAndClose can wait for this record.
  state.callersInside.fetch_add(1);
  if (state.isShuttingDown.load()) {
    state.callersInside.fetch_sub(1);
    return;
  }
  // The console line "tag:message" is written with the record's batch, off this thread; any
  // direct console write or ConsoleLog::flush() writes it first, so order is kept.
  logging::LogIntake::add(priority, tag ? std::move(*tag) : std::string("LogUtil"), std::move(message));
  state.callersInside.fetch_sub(1, std::memory_order_release);
}

void LogUtil::v(const std::string& message, std::optional<std::string> tag) { log(LogPriority::verbose, std::move(tag), message); }
void LogUtil::d(const std::string& message, std::optional<std::string> tag) { log(LogPriority::debug, std::move(tag), message); }
void LogUtil::i(const std::string& message, std::optional<std::string> tag) { log(LogPriority::info, std::move(tag), message); }
void LogUtil::w(const std::string& message, std::optional<std::string> tag) { log(LogPriority::warn, std::move(tag), message); }
void LogUtil::e(const std::string& message, std::optional<std::string> tag) { log(LogPriority::error, std::move(tag), message); }

void LogUtil::logVerbose(const std::string& tag, const LogObject& record) { log(LogPriority::verbose, tag, record.description()); }
void LogUtil::logDebug(const std::string& tag, const LogObject& record) { log(LogPriority::debug, tag, record.description()); }
void LogUtil::logInfo(const std::string& tag, const LogObject& record) { log(LogPriority::info, tag, record.description()); }
void LogUtil::logWarn(const std::string& tag, const LogObject& record) { log(LogPriority::warn, tag, record.description()); }
void LogUtil::logError(const std::string& tag, const LogObject& record) { log(LogPriority::error, tag, record.description()); }

void LogUtil::setUserInfo(const nlohmann::json& userInfo) { LoggerState::shared().setUserInfo(userInfo); }

void LogUtil::flushAndClose() {
  auto& state = LoggerState::shared();
  if (state.isShuttingDown.exchange(true)) return;
  while (state.callersInside.load() != 0) std::this_thread::yield();
  LogUploader::cancelTimers();
  LogUploader::unregisterBackgroundNotification();
  for (int poll = 0; poll < 30 && state.isUploading; ++poll) {
    platform::dispatch::sleepFor(std::chrono::milliseconds(100));
  }
  // Records accepted before the shutdown still reach the store, after the batches already on
  // their way (the barrier waits for hand-overs in progress on logQueue).
  auto rest = logging::LogIntake::takeAll();
  state.logQueue->syncBarrier([] {});
  state.dbQueue->sync([&rest] {
    LogStore::saveLogsToDb(rest);
    LogStore::close();
  });
  state.memoryLogsQueue->syncBarrier([] { LoggerState::shared().memoryLogs.clear(); });
  state.dbOpenFailed = false;
  // Last: from here a new initialize may start the logger again.
  state.isInitialized = false;
}

void LogUtil::setServerUrl(const std::string& serverUrl) {
  auto& state = LoggerState::shared();
  if (state.isInitialized) state.setServerUrl(serverUrl);
}

void LogUtil::forceUploadLogs(std::function<void()> completion) { LogUploader::forceUploadLogs(std::move(completion)); }

nlohmann::json LogUtil::getDeviceInfo() {
  const auto& device = platform::foundation::DeviceInfo::current();
  return nlohmann::json{{"model", device.model()},
                        {"os_version", device.systemVersion()},
                        {"device_name", device.name()},
                        {"system_name", device.systemName()}};
}

}  // namespace lumo
