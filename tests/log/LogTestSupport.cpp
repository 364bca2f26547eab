#include "tests/log/LogTestSupport.h"

#include "platform/dispatch/MainLoop.h"

namespace lumo::test {

void LogTest::SetUp() {
  VirtualTimeTest::SetUp();
  logging::LoggerState::resetForTesting();
}

void LogTest::TearDown() {
  logging::LoggerState::resetForTesting();
  VirtualTimeTest::TearDown();
}

void LogTest::settle() { platform::dispatch::MainLoop::runFor(std::chrono::seconds(0)); }

std::string LogTest::databasePath() const { return (sandboxDir() / "Documents" / "lumo_logs.db").string(); }

std::vector<StoredRow> LogTest::storedRows() const {
  std::vector<StoredRow> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(databasePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "cannot open " << databasePath();
    return rows;
  }
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, priority, tag, message, timestamp, retry_count FROM logs ORDER BY id", -1,
                     &statement, nullptr);
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    auto text = [&](int column) {
      auto* value = sqlite3_column_text(statement, column);
      return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
    };
    rows.push_back({sqlite3_column_int64(statement, 0), sqlite3_column_int(statement, 1), text(2), text(3),
                    sqlite3_column_int64(statement, 4), sqlite3_column_int(statement, 5)});
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

void LogTest::execute(const std::string& sql) const {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(databasePath().c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 5000);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

std::vector<logging::MemoryEntry> LogTest::memoryEntries() const {
  std::vector<logging::MemoryEntry> entries;
  auto& state = logging::LoggerState::shared();
  state.memoryLogsQueue->sync([&] { entries.assign(state.memoryLogs.begin(), state.memoryLogs.end()); });
  return entries;
}

}  // namespace lumo::test
