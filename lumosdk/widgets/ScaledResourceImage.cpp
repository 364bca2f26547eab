#include "lumosdk/widgets/ScaledResourceImage.h"

#include <cmath>

#include "lumosdk/utils/ResourceUtil.h"
#include "platform/ui/Screen.h"

namespace lumo {

using platform::ui::Image;

std::shared_ptr<Image> loadScaledResourceImage(const std::string& named) {
  const std::string extension = ".png";
  bool png = named.size() > extension.size() && named.compare(named.size() - extension.size(), extension.size(),
                                                               extension) == 0;
  if (png) {
    std::string stem = named.substr(0, named.size() - extension.size());
    for (int scale = static_cast<int>(std::lround(platform::ui::Screen::scale())); scale >= 2; --scale) {
      auto image = ResourceUtil::loadResourceImage(stem + "@" + std::to_string(scale) + "x" + extension);
      if (!image) continue;
      auto pixels = image->pixels();
      return Image::fromPixels(image->pixelWidth(), image->pixelHeight(), std::move(pixels), scale);
    }
  }
  return ResourceUtil::loadResourceImage(named);
}

}  // namespace lumo
