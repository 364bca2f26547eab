#pragma once

#include <filesystem>
#include <string>

#include "platform/render/Bitmap.h"

namespace lumo::test {

// Keeps a test's picture in its sandbox and, when LUMO_SCREENSHOT_DIR is set, there as well
// (the pictures under docs/ are drawn this way). A failed write fails the test.
void keepScreenshot(const platform::render::Bitmap& frame, const std::filesystem::path& sandbox,
                    const std::string& name);

}  // namespace lumo::test
