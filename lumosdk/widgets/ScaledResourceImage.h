#pragma once

#include <memory>
#include <string>

#include "platform/ui/Image.h"

namespace lumo {

// An image of the SDK's resources in the screen's pixel density: for "name.png" the file
// "name@3x.png" (then "@2x") is read through ResourceUtil when it exists and given that
// scale, so that it stays sharp on a 3x screen at its size in points; otherwise
// "name.png" itself as ResourceUtil finds it. None when nothing is found.
std::shared_ptr<platform::ui::Image> loadScaledResourceImage(const std::string& named);

}  // namespace lumo
