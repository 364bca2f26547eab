#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/BundleInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/VirtualTimeTest.h"

namespace lumo::test {

// Foundation tests start with the default bundle facts and no standard preferences loaded, and
// put back any environment variable they change.
class FoundationTest : public VirtualTimeTest {
 protected:
  void SetUp() override {
    VirtualTimeTest::SetUp();
    platform::foundation::BundleInfo::main().resetForTesting();
    platform::foundation::UserDefaults::resetStandardForTesting();
  }
  void TearDown() override {
    for (auto it = savedEnvironment_.rbegin(); it != savedEnvironment_.rend(); ++it) {
      if (it->second) ::setenv(it->first.c_str(), it->second->c_str(), 1);
      else ::unsetenv(it->first.c_str());
    }
    platform::foundation::UserDefaults::resetStandardForTesting();
    platform::foundation::BundleInfo::main().resetForTesting();
    VirtualTimeTest::TearDown();
  }

  void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
    const char* old = ::getenv(name.c_str());
    savedEnvironment_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value) ::setenv(name.c_str(), value->c_str(), 1);
    else ::unsetenv(name.c_str());
  }

  static std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void writeFile(const std::filesystem::path& file, const std::string& contents) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << contents;
  }
  static std::vector<std::string> fileNamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

}  // namespace lumo::test
