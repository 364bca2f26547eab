#include <atomic>
#include <cmath>
#include <thread>

#include "platform/foundation/UserDefaults.h"
#include "tests/foundation/FoundationTest.h"

namespace lumo::test {
namespace {

using platform::foundation::SystemLog;
using platform::foundation::UserDefaults;
using nlohmann::json;

class UserDefaultsTest : public FoundationTest {
 protected:
  std::filesystem::path preferencesFolder() const { return sandboxDir() / "Library" / "Preferences"; }
  std::filesystem::path standardFile() const { return preferencesFolder() / "com.nimbo.lumodemo.json"; }

  // What a new launch of the app would see.
  static UserDefaults& relaunched() {
    UserDefaults::resetStandardForTesting();
    return UserDefaults::standard();
  }

  bool systemLogHasErrorContaining(const std::string& part) const {
    for (const auto& [level, message] : systemLogLines()) {
      if (level == SystemLog::Level::error && message.find(part) != std::string::npos) return true;
    }
    return false;
  }
};

TEST_F(UserDefaultsTest, ValuesSurviveARelaunchAndNoTemporaryFileIsLeft) {
  UserDefaults& defaults = UserDefaults::standard();
  ASSERT_EQ(defaults.filePath(), standardFile());
  defaults.set("LVIN0000000000001", "EXTRA_DATA_VIN");
  defaults.set(false, "steering_wheel_mode");
  defaults.set(42, "count");
  defaults.set(2.5, "ratio");
  defaults.set(json{{"a", 1}, {"b", {1, 2}}}, "nested");
  defaults.set("中文", "text");
  EXPECT_TRUE(defaults.synchronize());

  EXPECT_EQ(fileNamesIn(preferencesFolder()), std::vector<std::string>{"com.nimbo.lumodemo.json"});
  EXPECT_TRUE(json::parse(readFile(standardFile())).is_object());

  UserDefaults& fresh = relaunched();
  ASSERT_NE(&fresh, &defaults);
  EXPECT_EQ(fresh.string("EXTRA_DATA_VIN"), "LVIN0000000000001");
  EXPECT_EQ(fresh.object("steering_wheel_mode"), json(false));
  EXPECT_EQ(fresh.integer("count"), 42);
  EXPECT_DOUBLE_EQ(fresh.doubleValue("ratio"), 2.5);
  EXPECT_EQ(fresh.object("nested"), (json{{"a", 1}, {"b", {1, 2}}}));
  EXPECT_EQ(fresh.string("text"), "中文");

  // A change is on disk as soon as the setter returns, synchronize or not.
  fresh.set("LVIN0000000000002", "EXTRA_DATA_VIN");
  fresh.removeObject("count");
  UserDefaults& third = relaunched();
  EXPECT_EQ(third.string("EXTRA_DATA_VIN"), "LVIN0000000000002");
  EXPECT_FALSE(third.object("count").has_value());
  EXPECT_EQ(fileNamesIn(preferencesFolder()), std::vector<std::string>{"com.nimbo.lumodemo.json"});

  // The earlier standard object is retired, not destroyed: old references still work.
  EXPECT_EQ(defaults.integer("count"), 42);
}

TEST_F(UserDefaultsTest, NumbersTheFileCannotHoldAreRefused) {
  UserDefaults& defaults = UserDefaults::standard();
  defaults.set(1.5, "ratio");
  for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    defaults.set(bad, "ratio");
    defaults.set(json{{"inner", {1.0, bad}}}, "nested");
  }
  // Kept in memory they would read differently after a relaunch ("null"), so they never land.
  EXPECT_EQ(defaults.object("ratio"), json(1.5));
  EXPECT_FALSE(defaults.object("nested"));
  EXPECT_TRUE(systemLogHasErrorContaining("cannot be stored"));
  UserDefaults& fresh = relaunched();
  EXPECT_EQ(fresh.object("ratio"), json(1.5));
  EXPECT_FALSE(fresh.object("nested"));
}

TEST_F(UserDefaultsTest, AbsentKeysDifferFromStoredZeroes) {
  UserDefaults& defaults = UserDefaults::standard();
  EXPECT_FALSE(defaults.object("missing").has_value());
  EXPECT_FALSE(defaults.string("missing").has_value());
  EXPECT_EQ(defaults.integer("missing"), 0);
  EXPECT_EQ(defaults.doubleValue("missing"), 0.0);
  EXPECT_FALSE(defaults.boolValue("missing"));
  EXPECT_TRUE(defaults.synchronize());  // nothing to write is no failure
  EXPECT_FALSE(std::filesystem::exists(standardFile()));

  defaults.set(0, "zero");
  defaults.set(false, "off");
  defaults.set("", "empty");
  EXPECT_EQ(defaults.object("zero"), json(0));
  EXPECT_EQ(defaults.object("off"), json(false));
  EXPECT_EQ(defaults.string("empty"), "");

  // Setting null removes, as setting nil does.
  defaults.set(nullptr, "zero");
  EXPECT_FALSE(defaults.object("zero").has_value());
  defaults.removeObject("never-there");
  EXPECT_EQ(defaults.dictionaryRepresentation(), (json{{"off", false}, {"empty", ""}}));
}

TEST_F(UserDefaultsTest, TypedReadsConvertLikeThePlatform) {
  UserDefaults& defaults = UserDefaults::standard();
  defaults.set("12abc", "leadingDigits");
  defaults.set("YES", "yes");
  defaults.set("nope", "word");
  defaults.set(7, "seven");
  defaults.set(-3.9, "negativeReal");
  defaults.set(true, "flag");
  defaults.set(json::array({1}), "list");

  EXPECT_EQ(defaults.integer("leadingDigits"), 12);
  EXPECT_TRUE(defaults.boolValue("yes"));
  EXPECT_FALSE(defaults.boolValue("word"));
  EXPECT_EQ(defaults.integer("word"), 0);
  EXPECT_EQ(defaults.string("seven"), "7");
  EXPECT_TRUE(defaults.boolValue("seven"));
  EXPECT_EQ(defaults.integer("negativeReal"), -3);
  EXPECT_EQ(defaults.integer("flag"), 1);
  EXPECT_EQ(defaults.doubleValue("flag"), 1.0);
  EXPECT_FALSE(defaults.string("flag").has_value());
  EXPECT_FALSE(defaults.string("list").has_value());
  EXPECT_EQ(defaults.integer("list"), 0);

  // Text that is not UTF-8 is stored with replacement characters instead of failing the write.
  defaults.set(std::string("bad\xff"), "broken");
  EXPECT_TRUE(defaults.synchronize());
  EXPECT_EQ(relaunched().string("broken"), "bad\xEF\xBF\xBD");
}

TEST_F(UserDefaultsTest, DamagedFileIsSetAsideAndReadsEmpty) {
  writeFile(standardFile(), "{\"EXTRA_DATA_VIN\": \"LV");
  UserDefaults& defaults = UserDefaults::standard();
  EXPECT_EQ(defaults.dictionaryRepresentation(), json::object());
  EXPECT_TRUE(systemLogHasErrorContaining("damaged preferences file"));
  EXPECT_EQ(readFile(preferencesFolder() / "com.nimbo.lumodemo.json.damaged-1"), "{\"EXTRA_DATA_VIN\": \"LV");

  defaults.set("new", "key");
  EXPECT_EQ(json::parse(readFile(standardFile())), (json{{"key", "new"}}));

  // A second damaged file goes next to the first rather than over it; a top-level array is
  // no preferences file either.
  writeFile(standardFile(), "[1, 2]");
  EXPECT_FALSE(relaunched().object("key").has_value());
  EXPECT_EQ(readFile(preferencesFolder() / "com.nimbo.lumodemo.json.damaged-1"), "{\"EXTRA_DATA_VIN\": \"LV");
  EXPECT_EQ(readFile(preferencesFolder() / "com.nimbo.lumodemo.json.damaged-2"), "[1, 2]");
}

TEST_F(UserDefaultsTest, UnreadableFileIsNeverReplaced) {
  // A folder where the file belongs cannot be read; it must survive every write attempt.
  std::filesystem::create_directories(standardFile() / "keep");
  UserDefaults& defaults = UserDefaults::standard();
  EXPECT_TRUE(systemLogHasErrorContaining("left untouched"));
  defaults.set(1, "key");
  EXPECT_EQ(defaults.integer("key"), 1);  // still usable in memory
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_TRUE(std::filesystem::exists(standardFile() / "keep"));
}

TEST_F(UserDefaultsTest, DamagedFileThatCannotBeSetAsideIsKept) {
  writeFile(standardFile(), "garbage");
  for (int n = 1; n < 1000; ++n) writeFile(preferencesFolder() / ("com.nimbo.lumodemo.json.damaged-" + std::to_string(n)), "");
  UserDefaults& defaults = UserDefaults::standard();
  EXPECT_TRUE(systemLogHasErrorContaining("could not be set aside"));
  defaults.set(1, "key");
  EXPECT_EQ(defaults.integer("key"), 1);
  EXPECT_FALSE(defaults.synchronize());
  EXPECT_EQ(readFile(standardFile()), "garbage");
}

TEST_F(UserDefaultsTest, FileNameComesFromTheBundleIdentifierSafely) {
  platform::foundation::BundleInfo::main().setIdentifier("com.example/../app");
  UserDefaults& defaults = relaunched();
  ASSERT_TRUE(defaults.filePath().has_value());
  EXPECT_EQ(defaults.filePath()->parent_path(), preferencesFolder());
  defaults.set(1, "key");
  EXPECT_EQ(fileNamesIn(preferencesFolder()), std::vector<std::string>{"com.example_.._app.json"});
}

TEST_F(UserDefaultsTest, ConcurrentWritersLoseNothing) {
  UserDefaults& defaults = UserDefaults::standard();
  constexpr int kThreads = 4;
  constexpr int kKeysEach = 20;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&defaults, t] {
      for (int k = 0; k < kKeysEach; ++k) {
        defaults.set(t * 1000 + k, "key-" + std::to_string(t) + "-" + std::to_string(k));
        (void)defaults.integer("key-0-0");
      }
    });
  }
  for (auto& writer : writers) writer.join();

  UserDefaults& fresh = relaunched();
  EXPECT_EQ(fresh.dictionaryRepresentation().size(), static_cast<size_t>(kThreads * kKeysEach));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(fresh.integer("key-" + std::to_string(t) + "-" + std::to_string(kKeysEach - 1)),
              t * 1000 + kKeysEach - 1);
  }
  EXPECT_EQ(fileNamesIn(preferencesFolder()), std::vector<std::string>{"com.nimbo.lumodemo.json"});
}

}  // namespace
}  // namespace lumo::test
