#include <regex>
#include <thread>

#include "platform/foundation/AppSandbox.h"
#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/DeviceInfo.h"
#include "tests/foundation/FoundationTest.h"

namespace lumo::test {
namespace {

using platform::foundation::AppSandbox;
using platform::foundation::BundleInfo;
using platform::foundation::DeviceInfo;
namespace fs = std::filesystem;

TEST_F(FoundationTest, SandboxFollowsTheEnvironmentAtEveryCall) {
  EXPECT_EQ(AppSandbox::rootDirectory(), sandboxDir());
  EXPECT_EQ(AppSandbox::documentsDirectory(), sandboxDir() / "Documents");
  EXPECT_EQ(AppSandbox::preferencesDirectory(), sandboxDir() / "Library" / "Preferences");
  EXPECT_FALSE(fs::exists(sandboxDir() / "Documents"));  // asking does not create it

  setEnvironment("LUMO_SANDBOX_DIR", "/elsewhere/box");
  EXPECT_EQ(AppSandbox::documentsDirectory(), fs::path("/elsewhere/box/Documents"));

  // Without the variable: the per-app folder under the user's data directory.
  setEnvironment("LUMO_SANDBOX_DIR", std::nullopt);
  setEnvironment("XDG_DATA_HOME", "/data/home");
  EXPECT_EQ(AppSandbox::rootDirectory(), fs::path("/data/home/lumo/com.nimbo.lumodemo"));
  setEnvironment("XDG_DATA_HOME", "relative/ignored");
  setEnvironment("HOME", "/home/driver");
  EXPECT_EQ(AppSandbox::rootDirectory(), fs::path("/home/driver/.local/share/lumo/com.nimbo.lumodemo"));
  setEnvironment("XDG_DATA_HOME", std::nullopt);
  BundleInfo::main().setIdentifier("..");
  EXPECT_EQ(AppSandbox::rootDirectory(), fs::path("/home/driver/.local/share/lumo/unidentified-app"));
}

TEST_F(FoundationTest, VendorIdentifierIsAStableUpperCaseUuid) {
  const std::regex uuidV4("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  std::optional<std::string> first = DeviceInfo::current().identifierForVendor();
  ASSERT_TRUE(first.has_value());
  EXPECT_TRUE(std::regex_match(*first, uuidV4)) << *first;
  EXPECT_EQ(DeviceInfo::current().identifierForVendor(), first);
  EXPECT_NE(readFile(sandboxDir() / "Library" / "vendor-id").find(*first), std::string::npos);

  // Another installation (sandbox) gets its own identifier; coming back finds the first again.
  fs::path other = sandboxDir() / "other-install";
  setEnvironment("LUMO_SANDBOX_DIR", other.string());
  std::optional<std::string> second = DeviceInfo::current().identifierForVendor();
  ASSERT_TRUE(second.has_value());
  EXPECT_NE(second, first);
  setEnvironment("LUMO_SANDBOX_DIR", sandboxDir().string());
  EXPECT_EQ(DeviceInfo::current().identifierForVendor(), first);

  // A stored lower-case identifier is given out in upper case.
  writeFile(other / "Library" / "vendor-id", "0f8fad5b-d9cb-469f-a165-70867728950e\n");
  setEnvironment("LUMO_SANDBOX_DIR", other.string());
  EXPECT_EQ(DeviceInfo::current().identifierForVendor(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
}

TEST_F(FoundationTest, DamagedVendorFileIsReplacedAfterBeingSetAside) {
  writeFile(sandboxDir() / "Library" / "vendor-id", "not-a-uuid");
  std::optional<std::string> id = DeviceInfo::current().identifierForVendor();
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(id->size(), 36u);
  EXPECT_EQ(readFile(sandboxDir() / "Library" / "vendor-id.damaged-1"), "not-a-uuid");
  EXPECT_EQ(DeviceInfo::current().identifierForVendor(), id);
  bool logged = false;
  for (const auto& [level, message] : systemLogLines()) {
    logged |= message.find("damaged vendor identifier") != std::string::npos;
  }
  EXPECT_TRUE(logged);
}

TEST_F(FoundationTest, ConcurrentFirstUseAgreesOnOneVendorIdentifier) {
  std::vector<std::optional<std::string>> seen(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = DeviceInfo::current().identifierForVendor(); });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(seen[0].has_value());
  for (const auto& id : seen) EXPECT_EQ(id, seen[0]);
}

TEST_F(FoundationTest, BundleFactsHaveDefaultsAndCanBeCleared) {
  BundleInfo& bundle = BundleInfo::main();
  EXPECT_EQ(bundle.identifier(), "com.nimbo.lumodemo");
  EXPECT_EQ(bundle.shortVersion(), "1.0.0");
  EXPECT_EQ(bundle.buildVersion(), "1");
  // By default resources sit next to the running program.
  EXPECT_EQ(bundle.resourceDirectory(), fs::read_symlink("/proc/self/exe").parent_path() / "resources");

  bundle.setShortVersion(std::nullopt);
  bundle.setResourceDirectory("/opt/lumo/resources");
  EXPECT_FALSE(bundle.shortVersion().has_value());
  EXPECT_EQ(bundle.resourceDirectory(), fs::path("/opt/lumo/resources"));
  bundle.resetForTesting();
  EXPECT_EQ(bundle.shortVersion(), "1.0.0");
}

}  // namespace
}  // namespace lumo::test
