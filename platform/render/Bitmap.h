#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/PlatformExport.h"
#include "platform/ui/Color.h"

namespace platform::render {

// A drawn frame: premultiplied ARGB words (cairo's ARGB32), row after row, no padding.
class LUMO_PLATFORM_EXPORT Bitmap {
 public:
  Bitmap() = default;
  Bitmap(int width, int height, std::vector<std::uint32_t> pixels)
      : width_(width), height_(height), pixels_(std::move(pixels)) {}

  int width() const { return width_; }
  int height() const { return height_; }
  bool isEmpty() const { return pixels_.empty(); }
  const std::vector<std::uint32_t>& pixels() const { return pixels_; }
  // Straight-alpha colour at a pixel; clear outside the bitmap.
  ui::Color pixelColor(int x, int y) const;
  // Writes a PNG; false when the file cannot be written.
  bool writePng(const std::filesystem::path& path) const;
  // Reads a PNG (any colour type); an empty bitmap when it cannot be read.
  static Bitmap readPng(const std::filesystem::path& path);

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

}  // namespace platform::render
