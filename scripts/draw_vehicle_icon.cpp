// Draws lumosdk/resources/vehicle_icon.png: the detail page's picture of a delivery vehicle
// (side view: cabinet body with two doors, sensor dome, wheels) at 160 × 160 pixels.
// Build and run:  g++ -std=c++20 scripts/draw_vehicle_icon.cpp $(pkg-config --cflags --libs cairo) \
//                   -o /tmp/draw_vehicle_icon && /tmp/draw_vehicle_icon lumosdk/resources/vehicle_icon.png
#include <cairo.h>

#include <cmath>
#include <cstdio>

namespace {

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void wheel(cairo_t* cr, double cx, double cy) {
  cairo_arc(cr, cx, cy, 15, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 0.16, 0.18, 0.22);
  cairo_fill(cr);
  cairo_arc(cr, cx, cy, 6.5, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 0.78, 0.8, 0.84);
  cairo_fill(cr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 160, 160);
  cairo_t* cr = cairo_create(surface);

  // Ground shadow.
  cairo_save(cr);
  cairo_translate(cr, 80, 134);
  cairo_scale(cr, 64, 6);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.12);
  cairo_fill(cr);

  // Body: a tall cabinet with a sloped nose.
  cairo_move_to(cr, 22, 118);
  cairo_line_to(cr, 22, 52);
  cairo_curve_to(cr, 22, 44, 26, 40, 34, 40);
  cairo_line_to(cr, 112, 40);
  cairo_curve_to(cr, 124, 40, 132, 58, 138, 76);
  cairo_line_to(cr, 140, 108);
  cairo_curve_to(cr, 140, 114, 137, 118, 131, 118);
  cairo_close_path(cr);
  cairo_pattern_t* paint = cairo_pattern_create_linear(0, 40, 0, 118);
  cairo_pattern_add_color_stop_rgb(paint, 0, 0.16, 0.36, 0.72);
  cairo_pattern_add_color_stop_rgb(paint, 1, 0.06, 0.21, 0.52);
  cairo_set_source(cr, paint);
  cairo_fill(cr);
  cairo_pattern_destroy(paint);

  // Two cabinet doors with handles.
  cairo_set_source_rgb(cr, 0.93, 0.95, 0.98);
  roundedRect(cr, 30, 50, 36, 56, 4);
  cairo_fill(cr);
  roundedRect(cr, 70, 50, 36, 56, 4);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.06, 0.21, 0.52);
  roundedRect(cr, 58, 72, 4, 14, 2);
  cairo_fill(cr);
  roundedRect(cr, 74, 72, 4, 14, 2);
  cairo_fill(cr);

  // Front sensor window.
  cairo_move_to(cr, 112, 50);
  cairo_curve_to(cr, 120, 50, 126, 62, 130, 76);
  cairo_line_to(cr, 112, 76);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.62, 0.84, 0.98);
  cairo_fill(cr);

  // Sensor dome on the roof.
  roundedRect(cr, 66, 28, 22, 14, 5);
  cairo_set_source_rgb(cr, 0.2, 0.22, 0.26);
  cairo_fill(cr);
  cairo_arc(cr, 77, 34, 3, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 0.4, 0.9, 0.55);
  cairo_fill(cr);

  wheel(cr, 46, 120);
  wheel(cr, 116, 120);

  cairo_status_t status = cairo_surface_write_to_png(surface, argv[1]);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return status == CAIRO_STATUS_SUCCESS ? 0 : 1;
}
