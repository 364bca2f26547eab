#include "platform/render/Bitmap.h"

#include <cairo.h>

namespace platform::render {

ui::Color Bitmap::pixelColor(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return ui::Color::clear();
  std::uint32_t p = pixels_[static_cast<std::size_t>(y) * width_ + x];
  double a = (p >> 24) / 255.0;
  if (a <= 0) return ui::Color::clear();
  return {((p >> 16) & 0xff) / 255.0 / a, ((p >> 8) & 0xff) / 255.0 / a, (p & 0xff) / 255.0 / a, a};
}

bool Bitmap::writePng(const std::filesystem::path& path) const {
  if (pixels_.empty()) return false;
  // cairo wants a mutable buffer; it only reads it here.
  auto* data = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(pixels_.data()));
  cairo_surface_t* surface = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, width_, height_, width_ * 4);
  cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
  cairo_surface_destroy(surface);
  return status == CAIRO_STATUS_SUCCESS;
}

}  // namespace platform::render
