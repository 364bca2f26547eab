#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/foundation/Bytes.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"

namespace platform::ui {

// UIImage: an immutable bitmap (premultiplied ARGB, one 32-bit word per pixel, row after
// row) with a point scale and a rendering mode. A template image is drawn as its alpha
// shape filled with the tint colour of the view that shows it.
class LUMO_PLATFORM_EXPORT Image {
 public:
  enum class RenderingMode { automatic, alwaysOriginal, alwaysTemplate };

  // PNG bytes; none when the bytes are not a PNG image.
  static std::shared_ptr<Image> fromData(const Bytes& png, double scale = 1.0);
  // A PNG file; none when it cannot be read or decoded.
  static std::shared_ptr<Image> fromFile(const std::filesystem::path& path, double scale = 1.0);
  // The image catalogue: a folder of PNGs looked up by name ("<name>", then "<name>.png",
  // "<name>@3x.png", "<name>@2x.png"). Without a folder, the main bundle's resource folder
  // and its "Images" subfolder are searched.
  static std::shared_ptr<Image> named(const std::string& name,
                                      const std::optional<std::filesystem::path>& catalogue = std::nullopt);
  // The system symbols the pages use, drawn as vector icons (template images); none for
  // an unknown name.
  static std::shared_ptr<Image> systemNamed(const std::string& symbolName);
  // Premultiplied ARGB words, width × height of them.
  static std::shared_ptr<Image> fromPixels(int width, int height, std::vector<std::uint32_t> pixels,
                                           double scale = 1.0);

  std::shared_ptr<Image> withRenderingMode(RenderingMode mode) const;
  // A bitmap of this image's shape filled with `color` (drawn once, original rendering).
  std::shared_ptr<Image> withTintColor(const Color& color) const;

  Size size() const { return {pixelWidth_ / scale_, pixelHeight_ / scale_}; }
  int pixelWidth() const { return pixelWidth_; }
  int pixelHeight() const { return pixelHeight_; }
  double scale() const { return scale_; }
  RenderingMode renderingMode() const { return mode_; }
  // Whether views draw it as a tinted shape: explicit template mode, or a symbol left at automatic.
  bool isTemplate() const;
  bool isSymbol() const { return !symbolName_.empty(); }
  const std::string& symbolName() const { return symbolName_; }
  const std::vector<std::uint32_t>& pixels() const { return *pixels_; }
  // Straight-alpha colour of one pixel (tests).
  Color pixelColor(int x, int y) const;

 private:
  Image() = default;
  int pixelWidth_ = 0;
  int pixelHeight_ = 0;
  double scale_ = 1.0;
  RenderingMode mode_ = RenderingMode::automatic;
  std::string symbolName_;
  std::shared_ptr<const std::vector<std::uint32_t>> pixels_;
};

}  // namespace platform::ui
