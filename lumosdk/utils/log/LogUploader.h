#pragma once

// Private to the logger: the timers that drive uploads and clean-up, the life-cycle observers,
// and the upload rounds themselves.

#include "lumosdk/LumoExport.h"
#include <functional>

namespace lumo::logging {

class LUMO_EXPORT LogUploader {
 public:
  // Main thread, from LogUtil::initialize.
  static void setupTimers();
  static void registerBackgroundNotification();
  // From LogUtil::flushAndClose.
  static void cancelTimers();
  static void unregisterBackgroundNotification();

  // On uploadQueue, from the upload timer.
  static void sendLogsTask();
  static void forceUploadLogs(std::function<void()> completion);
  static void handleAppDidEnterBackground();
};

}  // namespace lumo::logging
