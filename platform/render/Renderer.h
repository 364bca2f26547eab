#pragma once

#include <filesystem>
#include <memory>

#include "platform/PlatformExport.h"
#include "platform/render/Bitmap.h"

namespace platform::ui {
class View;
class Window;
}  // namespace platform::ui

namespace platform::render {

// Draws a view tree with cairo and pango: presentation geometry and alpha (mid-animation
// state as on screen), transforms, clipping, rounded corners, borders, gradient, shape and
// text layers, labels, images with template tints, spinners and text fields. The drawing
// surface is kept between frames, so drawing the same size again allocates nothing.
class LUMO_PLATFORM_EXPORT Renderer {
 public:
  // `scale`: pixels per point.
  explicit Renderer(double scale = 1.0);
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Lays the window out (when it needs it) and draws it into the kept surface; a hidden
  // window draws as black.
  void draw(ui::Window& window);
  // Any view, drawn at the origin into a surface of its bounds' size.
  void drawView(ui::View& view);
  // The last frame drawn, copied out.
  Bitmap frame() const;
  Bitmap render(ui::Window& window) {
    draw(window);
    return frame();
  }
  bool renderToPng(ui::Window& window, const std::filesystem::path& path);
  double scale() const { return scale_; }

 private:
  struct Surface;
  void prepare(int width, int height);
  double scale_;
  std::unique_ptr<Surface> surface_;
};

}  // namespace platform::render
