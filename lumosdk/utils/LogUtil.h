#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "lumosdk/LumoExport.h"
#include "lumosdk/utils/LogObject.h"
#include "lumosdk/utils/LogPriority.h"

namespace lumo {

/// The SDK's one logger. A call hands the record to the logger's queues, which print its
/// console line ("tag:message") and store it in SQLite ("lumo_logs.db" in Documents) or, while
/// no database is open, in a memory buffer of at most 1000 entries; an uploader posts stored
/// records to the backend in batches. Callable from any thread; the caller pays for a string
/// and an enqueue, never for console, file or database work. Console lines keep the callers'
/// order, also against direct console lines, and are all out after ConsoleLog::flush(),
/// flushAndClose() or a normal exit.
class LUMO_EXPORT LogUtil {
 public:
  /// Never instantiated: all state is class-level.
  LogUtil() = delete;

  /// Starts the logger once; `serverUrl` is the full upload URL.
  static void initialize(const std::string& serverUrl);

  /// A verbose record. Before initialize (that is, before LumoSdk::initSdk) a record is dropped.
  /// A missing tag becomes "LogUtil".
  static void v(const std::string& message, std::optional<std::string> tag);
  /// A debug record, as v.
  static void d(const std::string& message, std::optional<std::string> tag);
  /// An info record, as v.
  static void i(const std::string& message, std::optional<std::string> tag);
  /// A warning record, as v.
  static void w(const std::string& message, std::optional<std::string> tag);
  /// An error record, as v.
  static void e(const std::string& message, std::optional<std::string> tag);
  /// A record of any priority, as v; nothing once flushAndClose has begun.
  static void log(LogPriority priority, std::optional<std::string> tag, std::string message);

  /// The record's description (its JSON text) becomes the message.
  static void logVerbose(const std::string& tag, const LogObject& record);
  /// A debug record of the structured record, as logVerbose.
  static void logDebug(const std::string& tag, const LogObject& record);
  /// An info record of the structured record, as logVerbose.
  static void logInfo(const std::string& tag, const LogObject& record);
  /// A warning record of the structured record, as logVerbose.
  static void logWarn(const std::string& tag, const LogObject& record);
  /// An error record of the structured record, as logVerbose.
  static void logError(const std::string& tag, const LogObject& record);

  /// Points later uploads of a running logger at `serverUrl` (the facade's latest environment);
  /// does nothing before initialize.
  static void setServerUrl(const std::string& serverUrl);

  /// Sent with every upload as "user_Info".
  static void setUserInfo(const nlohmann::json& userInfo);

  /// Shuts the logger down: timers and observers go, a running upload gets up to 3 s, the
  /// database closes; later records are refused.
  static void flushAndClose();

  /// Uploads the memory buffer and one database batch now; `completion` runs exactly once.
  static void forceUploadLogs(std::function<void()> completion);

  /// The device description sent with uploads: "model", "os_version", "device_name", "system_name".
  static nlohmann::json getDeviceInfo();
};

}  // namespace lumo
