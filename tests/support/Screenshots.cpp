#include "tests/support/Screenshots.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace lumo::test {

void keepScreenshot(const platform::render::Bitmap& frame, const std::filesystem::path& sandbox,
                    const std::string& name) {
  EXPECT_TRUE(frame.writePng(sandbox / (name + ".png")));
  if (const char* dir = std::getenv("LUMO_SCREENSHOT_DIR")) {
    EXPECT_TRUE(frame.writePng(std::filesystem::path(dir) / (name + ".png")));
  }
}

}  // namespace lumo::test
