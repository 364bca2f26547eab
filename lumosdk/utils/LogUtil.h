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
///
/// Bounded everywhere, and never making a caller wait:
/// - At most 16,384 records or 8 MiB wait between the calls and the store. Each level may fill
///   only its share of that (verbose half, then debug, info and warn an eighth more each, error
///   all of it), so a flood drops the lowest levels first. Every drop is counted, and the counts
///   reach the backend as one warning record of their own ("Dropped N records under load ...").
/// - The database keeps at most 100,000 rows: past that the oldest rows not out for upload go,
///   counted like drops, and freed pages are given back (incremental auto-vacuum). A message is
///   stored with at most 10,000 characters, an upload carries at most 10,000 rows and 4 MiB of
///   text, and a memory-buffer entry is bounded like a stored one.
///
/// Nothing sent twice: each upload carries an "Idempotency-Key" header, the SHA-256 of the
/// device id and the records sent. A batch the backend did not confirm is remembered and resent
/// as the same rows with the same key, so a backend that accepted it but answered too late can
/// recognise the resend; one that ignores the header sees the usual body.
///
/// Private and durable: the database and its WAL files are 0600 in a 0700 folder that must
/// belong to the user, opened without following links; otherwise records stay in memory. WAL
/// with synchronous=NORMAL: a killed app loses no committed record, only what still waited in
/// the intake.
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

  /// Uploads the memory buffer and one database batch now, after taking in every record logged
  /// before the call on any thread; `completion` runs exactly once.
  static void forceUploadLogs(std::function<void()> completion);

  /// The device description sent with uploads: "model", "os_version", "device_name", "system_name".
  static nlohmann::json getDeviceInfo();
};

}  // namespace lumo
