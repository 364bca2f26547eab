#pragma once

#include <cairo.h>

#include <memory>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"
#include "platform/ui/detail/TextLayout.h"

namespace platform::ui {
class View;
class Layer;
}  // namespace platform::ui

namespace platform::render::detail {

class RenderCache;

// One frame's drawing on a cairo context: the view tree depth first, each view as its
// backing layer (background, sublayers), its own content, its subviews and its border.
class Painter {
 public:
  Painter(cairo_t* cr, RenderCache& cache) : cr_(cr), cache_(cache) {}
  // Draws `root` with its bounds at the context's origin (the root's own centre and
  // transform are ignored, as a window's are on screen).
  void paintRoot(ui::View& root);

 private:
  void paintView(ui::View& view);
  void paintContents(ui::View& view, double width, double height);
  void paintBody(ui::View& view, double width, double height);
  void paintLayer(ui::Layer& layer);
  void paintLayerKind(ui::Layer& layer, double width, double height);
  void paintImage(const std::shared_ptr<ui::Image>& image, const ui::Rect& rect, const ui::Color& tint);
  void paintText(const ui::detail::TextStyle& style, const ui::Color& color, double width, double height, bool centre);
  cairo_t* cr_;
  RenderCache& cache_;
};

}  // namespace platform::render::detail
