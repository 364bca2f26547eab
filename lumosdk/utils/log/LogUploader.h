#pragma once

// Private to the logger (exported only for its tests): the timers that drive uploads and
// clean-up, the life-cycle observers, and the upload rounds. One flag, isUploading, keeps at
// most one upload in flight.

#include <functional>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumosdk/utils/log/LoggerState.h"

namespace lumo::logging {

class LogUploader {
 public:
  using Completion = std::function<void(bool delivered)>;

  // Main thread, from LogUtil::initialize.
  static void setupTimers();
  static void registerBackgroundNotification();
  // From LogUtil::flushAndClose.
  static void cancelTimers();
  static void unregisterBackgroundNotification();

  // On uploadQueue, from the upload timer: the memory buffer, or else one database batch.
  static void sendLogsTask();
  static void sendMemoryLogsToServer(Completion completion);
  static void sendLogsToServer(std::vector<LogRow> rows, Completion completion);
  // The whole memory buffer and one batch; `completion` runs exactly once.
  static void forceUploadLogs(std::function<void()> completion);
  static void handleAppDidEnterBackground();

  // "yyyy-MM-dd HH:mm:ss.SSS" in the device's time zone.
  static std::string formatTimestamp(std::int64_t millis);
  // One upload entry per database row, in order.
  static nlohmann::json makeLogs(const std::vector<LogRow>& rows);
  static nlohmann::json makeBody(nlohmann::json logs);
  // The "Idempotency-Key" of an upload: SHA-256 (hex) of the device id and the "logs" sent, so
  // the same records sent again carry the same key and other records another one.
  static std::string idempotencyKey(const nlohmann::json& logs);

 private:
  static void uploadLogsAndComplete(std::function<void()> completion);
};

}  // namespace lumo::logging
