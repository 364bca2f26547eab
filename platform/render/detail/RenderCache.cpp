#include "platform/render/detail/RenderCache.h"

#include <algorithm>

namespace platform::render::detail {
namespace {

std::string keyOf(const ui::detail::TextStyle& s) {
  std::string key = s.text;
  key += '\x1f';
  key += std::to_string(s.fontSize) + '/' + (s.bold ? 'b' : 'r') + '/' + std::to_string(static_cast<int>(s.alignment)) +
         '/' + std::to_string(s.numberOfLines) + '/' + std::to_string(s.wrapWidth);
  return key;
}

std::uint32_t packTint(const ui::Color& c) {
  auto channel = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 255 + 0.5); };
  return (channel(c.alpha) << 24) | (channel(c.red) << 16) | (channel(c.green) << 8) | channel(c.blue);
}

}  // namespace

RenderCache::~RenderCache() {
  clearLayouts();
  clearImages();
}

void RenderCache::clearLayouts() {
  for (auto& [key, layout] : layouts_) g_object_unref(layout);
  layouts_.clear();
}

void RenderCache::clearImages() {
  for (auto& [key, entry] : images_) cairo_surface_destroy(entry.surface);
  images_.clear();
}

PangoLayout* RenderCache::layout(cairo_t* cr, const ui::detail::TextStyle& style) {
  std::string key = keyOf(style);
  auto it = layouts_.find(key);
  if (it == layouts_.end()) {
    if (layouts_.size() >= kMaxEntries) clearLayouts();
    it = layouts_.emplace(std::move(key), ui::detail::createLayout(cr, style)).first;
  } else {
    pango_cairo_update_layout(cr, it->second);
  }
  return it->second;
}

cairo_surface_t* RenderCache::image(const std::shared_ptr<ui::Image>& image, int width, int height, bool asTemplate,
                                    const ui::Color& tint) {
  width = std::clamp(width, 1, 4096);
  height = std::clamp(height, 1, 4096);
  ImageKey key{image.get(), width, height, asTemplate, asTemplate ? packTint(tint) : 0};
  auto it = images_.find(key);
  if (it != images_.end()) return it->second.surface;
  if (images_.size() >= kMaxEntries) clearImages();

  auto* data = reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image->pixels().data()));
  cairo_surface_t* source = cairo_image_surface_create_for_data(data, CAIRO_FORMAT_ARGB32, image->pixelWidth(),
                                                                image->pixelHeight(), image->pixelWidth() * 4);
  cairo_surface_t* scaled = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(scaled);
  cairo_scale(cr, static_cast<double>(width) / image->pixelWidth(), static_cast<double>(height) / image->pixelHeight());
  if (asTemplate) {
    cairo_set_source_rgba(cr, tint.red, tint.green, tint.blue, std::clamp(tint.alpha, 0.0, 1.0));
    cairo_mask_surface(cr, source, 0, 0);
  } else {
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_paint(cr);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(source);
  images_.emplace(key, ImageEntry{image, scaled});
  return scaled;
}

}  // namespace platform::render::detail
