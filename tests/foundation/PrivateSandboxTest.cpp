// The sandbox is private as on a phone: only its user reads or writes it, whatever the umask,
// and a sandbox that someone else prepared or could change is not used at all.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/AppSandbox.h"
#include "platform/foundation/DeviceInfo.h"
#include "tests/foundation/FoundationTest.h"
#include "tests/support/FileMode.h"

namespace lumo::test {
namespace {

using platform::foundation::AppSandbox;
using platform::foundation::DeviceInfo;
using platform::foundation::UserDefaults;
namespace fs = std::filesystem;

class PrivateSandboxTest : public FoundationTest {
 protected:
  void SetUp() override {
    FoundationTest::SetUp();
    savedUmask_ = ::umask(022);
    ::umask(savedUmask_);
  }
  void TearDown() override {
    ::umask(savedUmask_);
    FoundationTest::TearDown();
  }

  int linesContaining(const std::string& text) const {
    int count = 0;
    for (const auto& [level, message] : systemLogLines()) count += message.find(text) != std::string::npos ? 1 : 0;
    return count;
  }

  // A sandbox root of its own below the test's folder, so that its mode can be chosen.
  fs::path useRoot(const std::string& name) {
    fs::path root = sandboxDir() / name;
    setEnvironment("LUMO_SANDBOX_DIR", root.string());
    return root;
  }

 private:
  mode_t savedUmask_ = 0;
};

TEST_F(PrivateSandboxTest, FoldersAre0700AndFiles0600WhateverTheUmaskAndWiderOnesAreNarrowed) {
  fs::path root = useRoot("box");
  ::umask(0);  // the most permissive a host could run with
  UserDefaults::standard().set("LV123", "EXTRA_DATA_VIN");
  ASSERT_TRUE(DeviceInfo::current().identifierForVendor().has_value());
  fs::path prefs = root / "Library" / "Preferences" / "com.nimbo.lumodemo.json";
  EXPECT_EQ(modeOf(root), 0700u);
  EXPECT_EQ(modeOf(root / "Library"), 0700u);
  EXPECT_EQ(modeOf(root / "Library" / "Preferences"), 0700u);
  EXPECT_EQ(modeOf(prefs), 0600u);
  EXPECT_EQ(modeOf(root / "Library" / "vendor-id"), 0600u);
  EXPECT_EQ(linesContaining("narrowed"), 0) << "nothing of ours was ever wider";

  // Files and folders left readable by others (an older version, a careless tool) are
  // narrowed when next used, one line each.
  fs::permissions(root / "Library", fs::perms(0755));
  fs::permissions(prefs, fs::perms(0644));
  fs::permissions(root / "Library" / "vendor-id", fs::perms(0644));
  UserDefaults::resetStandardForTesting();
  EXPECT_EQ(UserDefaults::standard().string("EXTRA_DATA_VIN"), "LV123");
  ASSERT_TRUE(DeviceInfo::current().identifierForVendor().has_value());
  EXPECT_EQ(modeOf(root / "Library"), 0700u);
  EXPECT_EQ(modeOf(prefs), 0600u);
  EXPECT_EQ(modeOf(root / "Library" / "vendor-id"), 0600u);
  EXPECT_EQ(linesContaining("narrowed"), 3);
}

TEST_F(PrivateSandboxTest, ASandboxOthersCanChangeOrThatHoldsLinksIsNotUsed) {
  // A root that every user may write into: someone could have planted the vendor id.
  fs::path shared = useRoot("shared");
  fs::create_directories(shared / "Library");
  fs::permissions(shared, fs::perms(0777));
  writeFile(shared / "Library" / "vendor-id", "0F8FAD5B-D9CB-469F-A165-70867728950E\n");
  EXPECT_EQ(DeviceInfo::current().identifierForVendor(), std::nullopt);
  UserDefaults::standard().set(1, "key");
  EXPECT_FALSE(UserDefaults::standard().synchronize()) << "kept in memory only";
  EXPECT_FALSE(fs::exists(shared / "Library" / "Preferences"));
  EXPECT_GE(linesContaining("writable by others"), 1);

  // A root that belongs to another user.
  if (::geteuid() == 0) {
    fs::path foreign = useRoot("foreign");
    fs::create_directories(foreign / "Library");
    writeFile(foreign / "Library" / "vendor-id", "0F8FAD5B-D9CB-469F-A165-70867728950E\n");
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    EXPECT_EQ(DeviceInfo::current().identifierForVendor(), std::nullopt);
    EXPECT_GE(linesContaining("belongs to another user"), 1);
  }

  // A private root whose files are links: never followed, never read through. A vendor id
  // linked to an endless device is refused instead of read until memory runs out.
  fs::path linked = useRoot("linked");
  fs::create_directories(linked / "Library" / "Preferences");
  fs::create_symlink("/dev/zero", linked / "Library" / "vendor-id");
  EXPECT_EQ(DeviceInfo::current().identifierForVendor(), std::nullopt);
  writeFile(sandboxDir() / "victim.json", "{\"theirs\": 1}");
  fs::create_symlink(sandboxDir() / "victim.json", linked / "Library" / "Preferences" / "com.nimbo.lumodemo.json");
  UserDefaults::resetStandardForTesting();
  EXPECT_FALSE(UserDefaults::standard().object("theirs").has_value());
  UserDefaults::standard().set(2, "key");
  EXPECT_EQ(readFile(sandboxDir() / "victim.json"), "{\"theirs\": 1}");

  // A folder in the sandbox that is a link to somewhere else is refused like the root.
  fs::path hop = useRoot("hop");
  fs::create_directories(hop);
  fs::create_directories(sandboxDir() / "elsewhere");
  fs::create_symlink(sandboxDir() / "elsewhere", hop / "Library");
  EXPECT_EQ(DeviceInfo::current().identifierForVendor(), std::nullopt);
  EXPECT_TRUE(fileNamesIn(sandboxDir() / "elsewhere").empty());
}

TEST_F(PrivateSandboxTest, FilesReadWholeAreBounded) {
  fs::path root = useRoot("big");
  fs::create_directories(root / "Library" / "Preferences");
  fs::permissions(root, fs::perms(0700));
  // Sparse: takes no disk, but a reader without a bound would hold it all in memory.
  fs::path prefs = root / "Library" / "Preferences" / "com.nimbo.lumodemo.json";
  writeFile(prefs, "{}");
  fs::resize_file(prefs, 1ull << 30);
  EXPECT_FALSE(UserDefaults::standard().object("any").has_value());
  EXPECT_GE(linesContaining("larger than"), 1);
  EXPECT_EQ(fs::file_size(prefs), 1ull << 30) << "an oversized file is left for its owner, not replaced";
}

}  // namespace
}  // namespace lumo::test
