#include "platform/render/Bitmap.h"

#include <cairo.h>

#include <algorithm>

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

Bitmap Bitmap::readPng(const std::filesystem::path& path) {
  cairo_surface_t* loaded = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(loaded) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(loaded);
    return {};
  }
  int width = cairo_image_surface_get_width(loaded), height = cairo_image_surface_get_height(loaded);
  // Paint onto an ARGB32 surface so every PNG colour type arrives in one layout.
  cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(argb);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, loaded, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(argb);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  const unsigned char* data = cairo_image_surface_get_data(argb);
  int stride = cairo_image_surface_get_stride(argb);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
    std::copy(row, row + width, pixels.begin() + static_cast<std::ptrdiff_t>(y) * width);
  }
  cairo_surface_destroy(argb);
  cairo_surface_destroy(loaded);
  return Bitmap(width, height, std::move(pixels));
}

}  // namespace platform::render
