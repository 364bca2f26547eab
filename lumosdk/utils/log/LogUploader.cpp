#include "lumosdk/utils/log/LogUploader.h"

#include <chrono>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/log/LogStore.h"
#include "lumosdk/utils/log/LoggerState.h"
#include "platform/foundation/SystemLog.h"

namespace lumo::logging {
namespace {

using namespace std::chrono_literals;
using platform::dispatch::TimerSource;
using platform::foundation::NotificationCenter;
using platform::foundation::SystemLog;

constexpr const char* kDidEnterBackground = "UIApplicationDidEnterBackgroundNotification";
constexpr const char* kWillTerminate = "UIApplicationWillTerminateNotification";

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
  state.backgroundObserver = center.addObserver(kDidEnterBackground, [] { handleAppDidEnterBackground(); });
  state.terminateObserver = center.addObserver(kWillTerminate, [] {
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
  if (LoggerState::shared().isShuttingDown) return;
  // The upload step arrives with the backend client; until then records stay stored.
}

void LogUploader::forceUploadLogs(std::function<void()> completion) {
  auto& state = LoggerState::shared();
  if (!state.isInitialized || state.isShuttingDown) {
    SystemLog::info("Logger not initialized or shutting down, skipping force upload");
  }
  if (completion) completion();
}

void LogUploader::handleAppDidEnterBackground() {
  SystemLog::info("App did enter background, uploading logs");
  forceUploadLogs(nullptr);
}

}  // namespace lumo::logging
