// The log database and its side files are the user's alone, and the logger never writes
// through a link or into a folder someone else could change: it keeps records in memory then.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "lumosdk/utils/LogUtil.h"
#include "tests/log/LogTestSupport.h"
#include "tests/support/FileMode.h"

namespace lumo::test {
namespace {

using logging::LoggerState;
namespace fs = std::filesystem;

class LogPrivateFilesTest : public LogTest {
 protected:
  void TearDown() override {
    LogTest::TearDown();
    ::umask(022);
  }
  void start() {
    LogUtil::initialize("https://127.0.0.1:1/app_log/save");
    settle();
  }
  fs::path documents() const { return sandboxDir() / "Documents"; }
  int narrowedLines() const {
    int count = 0;
    for (const auto& [level, message] : systemLogLines()) count += message.find("narrowed") != std::string::npos;
    return count;
  }
};

TEST_F(LogPrivateFilesTest, TheDatabaseAndItsSideFilesAreTheUsersAloneWhateverTheUmask) {
  ::umask(0);
  start();
  ASSERT_NE(LoggerState::shared().db, nullptr);
  LogUtil::i("private", std::string("t"));
  settle();
  EXPECT_EQ(modeOf(documents()), 0700u);
  for (const char* name : {"lumo_logs.db", "lumo_logs.db-wal", "lumo_logs.db-shm"}) {
    ASSERT_TRUE(fs::exists(documents() / name)) << name;
    EXPECT_EQ(modeOf(documents() / name), 0600u) << name;
  }
  EXPECT_EQ(narrowedLines(), 0);

  // Left readable by others: narrowed at the next start, one line for the file.
  LogUtil::flushAndClose();
  fs::permissions(databasePath(), fs::perms(0644));
  start();
  ASSERT_NE(LoggerState::shared().db, nullptr);
  EXPECT_EQ(modeOf(databasePath()), 0600u);
  EXPECT_EQ(narrowedLines(), 1);
}

TEST_F(LogPrivateFilesTest, LinksAndFoldersOthersCanWriteAreNeverUsed) {
  // The database planted as a link to another user's database: not written through.
  fs::create_directories(documents());
  fs::path theirs = sandboxDir() / "theirs.db";
  std::ofstream(theirs) << "";
  fs::create_symlink(theirs, databasePath());
  start();
  EXPECT_EQ(LoggerState::shared().db, nullptr);
  EXPECT_TRUE(LoggerState::shared().dbOpenFailed);
  LogUtil::i("kept in memory", std::string("t"));
  settle();
  ASSERT_EQ(memoryEntries().size(), 1u);
  EXPECT_EQ(fs::file_size(theirs), 0u);

  // Documents a link to a folder elsewhere.
  LogUtil::flushAndClose();
  fs::remove_all(documents());
  fs::create_directories(sandboxDir() / "elsewhere");
  fs::create_symlink(sandboxDir() / "elsewhere", documents());
  start();
  EXPECT_TRUE(LoggerState::shared().dbOpenFailed);
  EXPECT_TRUE(fs::is_empty(sandboxDir() / "elsewhere"));

  // Documents writable by others: someone could swap the database under it.
  LogUtil::flushAndClose();
  fs::remove(documents());
  fs::create_directories(documents());
  fs::permissions(documents(), fs::perms(0777));
  start();
  EXPECT_TRUE(LoggerState::shared().dbOpenFailed);
  EXPECT_FALSE(fs::exists(databasePath()));
}

}  // namespace
}  // namespace lumo::test
