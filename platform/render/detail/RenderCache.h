#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "platform/ui/Color.h"
#include "platform/ui/Image.h"
#include "platform/ui/detail/TextLayout.h"

namespace platform::render::detail {

// What stays the same from one frame to the next: text layouts (shaping is the costly part
// of text) and images already scaled and tinted to the pixel size they are drawn at. Both
// are dropped wholesale once they grow past a bound, so a changing scene cannot grow them
// without limit.
class RenderCache {
 public:
  static constexpr std::size_t kMaxEntries = 512;
  RenderCache() = default;
  ~RenderCache();
  RenderCache(const RenderCache&) = delete;
  RenderCache& operator=(const RenderCache&) = delete;

  // A layout for the style, bound to `cr` (owned by the cache).
  PangoLayout* layout(cairo_t* cr, const ui::detail::TextStyle& style);
  // The image at `width` × `height` pixels, as a template filled with `tint` or as is
  // (owned by the cache).
  cairo_surface_t* image(const std::shared_ptr<ui::Image>& image, int width, int height, bool asTemplate,
                         const ui::Color& tint);

 private:
  using ImageKey = std::tuple<const ui::Image*, int, int, bool, std::uint32_t>;
  struct ImageEntry {
    std::shared_ptr<ui::Image> image;  // keeps the pointer in the key from being reused
    cairo_surface_t* surface;
  };
  void clearLayouts();
  void clearImages();
  std::map<std::string, PangoLayout*> layouts_;
  std::map<ImageKey, ImageEntry> images_;
};

}  // namespace platform::render::detail
