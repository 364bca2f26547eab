#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lumosdk/utils/log/LoggerState.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

struct StoredRow {
  std::int64_t id;
  int priority;
  std::string tag;
  std::string message;
  std::int64_t timestamp;
  int retryCount;
};

// A fresh logger in a private sandbox, with the database read back through SQLite itself.
class LogTest : public VirtualTimeTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Lets every queued logger block finish without moving time.
  void settle();
  std::string databasePath() const;
  std::vector<StoredRow> storedRows() const;
  // Runs one statement on a separate connection (to age rows, damage counts, ...).
  void execute(const std::string& sql) const;
  std::vector<logging::MemoryEntry> memoryEntries() const;
};

}  // namespace lumo::test
