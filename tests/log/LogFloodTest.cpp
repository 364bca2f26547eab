// Callers far faster than SQLite: the intake stays within its bound without ever making a
// caller wait, drops the lowest levels first, and accounts for every record it dropped.
#include <atomic>
#include <map>
#include <regex>
#include <thread>

#include "lumosdk/utils/LogUtil.h"
#include "lumosdk/utils/log/LogIntake.h"
#include "platform/dispatch/Semaphore.h"
#include "tests/log/LogUploadFixture.h"

namespace lumo::test {
namespace {

using namespace std::chrono_literals;
using logging::LogIntake;
using logging::LoggerState;

constexpr int kWriters = 4;

// One level in fifty is an error, four warn, ten info, fifteen debug, twenty verbose.
LogPriority levelOf(int i) {
  int slot = i % 50;
  if (slot == 0) return LogPriority::error;
  if (slot < 5) return LogPriority::warn;
  if (slot < 15) return LogPriority::info;
  if (slot < 30) return LogPriority::debug;
  return LogPriority::verbose;
}

class LogFloodTest : public LogUploadFixture {
 protected:
  // Each writer logs `count` records numbered from `first`, as fast as it can.
  static void flood(int first, int count) {
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
      writers.emplace_back([writer, first, count] {
        for (int i = first; i < first + count; ++i) {
          LogUtil::log(levelOf(i), std::string("flood"), "w" + std::to_string(writer) + "-" + std::to_string(i));
        }
      });
    }
    for (auto& thread : writers) thread.join();
  }
};

TEST_F(LogFloodTest, LoggedEqualsStoredPlusUploadedPlusDroppedAndCounted) {
  startLogger();
  auto& state = LoggerState::shared();
  // SQLite stalls (a slow disk): far more records arrive than the intake may hold.
  platform::dispatch::Semaphore stall;
  state.dbQueue->async([&stall] { stall.wait(); });
  const int stalledPerWriter = static_cast<int>(LogIntake::kMaxRecords);
  flood(0, stalledPerWriter);
  auto figures = LogIntake::figures();
  EXPECT_LE(figures.records, LogIntake::kMaxRecords);
  EXPECT_LE(figures.bytes, LogIntake::kMaxBytes);
  stall.signal();
  settle();
  EXPECT_EQ(LogIntake::figures().records, 0u) << "records stop counting once the store has them";

  // Then a flood beside ten seconds of uploads.
  const int freePerWriter = 20000;
  std::thread writers([&] { flood(stalledPerWriter, freePerWriter); });
  runFor(10s);
  writers.join();
  runFor(2 * 60s);
  LogUtil::flushAndClose();
  figures = LogIntake::figures();
  EXPECT_LE(figures.peakRecords, LogIntake::kMaxRecords);
  EXPECT_LE(figures.peakBytes, LogIntake::kMaxBytes);
  std::printf("intake peak: %zu records, %zu bytes (bounds %zu, %zu)\n", figures.peakRecords, figures.peakBytes,
              LogIntake::kMaxRecords, LogIntake::kMaxBytes);

  // Where each record ended up; the drop counts arrive as records of their own.
  const std::regex dropLine(R"(Dropped (\d+) records under load \(verbose (\d+), debug (\d+), info (\d+), warn (\d+), error (\d+)\))");
  std::map<std::string, int> seen;
  long long droppedCounted = 0;
  std::map<int, long long> droppedByLevel;
  auto account = [&](const std::string& tag, const std::string& message) {
    std::smatch match;
    if (tag == "LogUtil" && std::regex_match(message, match, dropLine)) {
      droppedCounted += std::stoll(match[1]);
      for (int level = 0; level < 5; ++level) droppedByLevel[level + 2] += std::stoll(match[level + 2]);
      return;
    }
    ++seen[message];
  };
  int uploaded = 0;
  for (const auto& body : backend_->world().logUploads()) {
    for (const auto& log : body["logs"]) {
      account(log["tag"], log["message"]);
      ++uploaded;
    }
  }
  for (const auto& row : storedRows()) account(row.tag, row.message);
  for (const auto& entry : memoryEntries()) account(entry.tag, entry.message);

  const long long logged = static_cast<long long>(kWriters) * (stalledPerWriter + freePerWriter);
  long long kept = 0;
  for (const auto& [message, times] : seen) {
    EXPECT_EQ(times, 1) << message;
    kept += times;
  }
  std::printf("logged %lld = kept %lld (uploaded %d) + dropped and counted %lld\n", logged, kept, uploaded,
              droppedCounted);
  EXPECT_EQ(kept + droppedCounted, logged);
  EXPECT_GT(uploaded, 0);
  // Room ran out: the lowest level lost the largest part of its records, errors the least;
  // while the store stalled, every error was kept.
  double verboseLost = static_cast<double>(droppedByLevel[2]) / (logged * 20 / 50);
  double errorLost = static_cast<double>(droppedByLevel[6]) / (logged / 50);
  std::printf("dropped: verbose %.0f%%, error %.0f%%\n", 100 * verboseLost, 100 * errorLost);
  EXPECT_GT(droppedByLevel[2], 0);
  EXPECT_LT(errorLost, verboseLost);
  for (int writer = 0; writer < kWriters; ++writer) {
    for (int i = 0; i < stalledPerWriter; i += 50) {
      ASSERT_EQ(seen.count("w" + std::to_string(writer) + "-" + std::to_string(i)), 1u) << "error record lost";
    }
  }
}

}  // namespace
}  // namespace lumo::test
