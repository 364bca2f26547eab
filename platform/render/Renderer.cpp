#include "platform/render/Renderer.h"

#include <cairo.h>

#include <cstring>

#include "platform/render/detail/Painter.h"
#include "platform/render/detail/RenderCache.h"
#include "platform/ui/Window.h"

namespace platform::render {

struct Renderer::Surface {
  cairo_surface_t* surface = nullptr;
  detail::RenderCache cache;
  int width = 0;
  int height = 0;
  ~Surface() {
    if (surface) cairo_surface_destroy(surface);
  }
};

Renderer::Renderer(double scale) : scale_(scale > 0 ? scale : 1.0), surface_(std::make_unique<Surface>()) {}

Renderer::~Renderer() = default;

void Renderer::prepare(int width, int height) {
  width = std::max(1, width);
  height = std::max(1, height);
  if (surface_->surface && surface_->width == width && surface_->height == height) return;
  if (surface_->surface) cairo_surface_destroy(surface_->surface);
  surface_->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  surface_->width = width;
  surface_->height = height;
}

void Renderer::draw(ui::Window& window) {
  window.layoutIfNeeded();
  ui::Rect b = window.bounds();
  prepare(static_cast<int>(b.width() * scale_ + 0.5), static_cast<int>(b.height() * scale_ + 0.5));
  cairo_t* cr = cairo_create(surface_->surface);
  // Curves flattened to a quarter pixel: invisible at phone sizes, and far fewer segments
  // for the many rounded corners of a page.
  cairo_set_tolerance(cr, 0.25);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (!window.isHidden()) {
    cairo_scale(cr, scale_, scale_);
    detail::Painter(cr, surface_->cache).paintRoot(window);
  }
  cairo_destroy(cr);
}

void Renderer::drawView(ui::View& view) {
  view.layoutIfNeeded();
  ui::Rect b = view.bounds();
  prepare(static_cast<int>(b.width() * scale_ + 0.5), static_cast<int>(b.height() * scale_ + 0.5));
  cairo_t* cr = cairo_create(surface_->surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  cairo_scale(cr, scale_, scale_);
  detail::Painter(cr, surface_->cache).paintRoot(view);
  cairo_destroy(cr);
}

Bitmap Renderer::frame() const {
  if (!surface_->surface) return {};
  cairo_surface_flush(surface_->surface);
  int w = surface_->width, h = surface_->height;
  const unsigned char* data = cairo_image_surface_get_data(surface_->surface);
  int stride = cairo_image_surface_get_stride(surface_->surface);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    std::memcpy(&pixels[static_cast<std::size_t>(y) * w], data + static_cast<std::size_t>(y) * stride,
                static_cast<std::size_t>(w) * 4);
  }
  return Bitmap(w, h, std::move(pixels));
}

bool Renderer::renderToPng(ui::Window& window, const std::filesystem::path& path) {
  draw(window);
  return frame().writePng(path);
}

}  // namespace platform::render
