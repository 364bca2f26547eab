#include "platform/ui/detail/SystemSymbols.h"

#include <functional>
#include <map>
#include <numbers>

namespace platform::ui::detail {
namespace {

constexpr double kPi = std::numbers::pi;

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

void car(cairo_t* cr, double ox, double oy, double s) {
  // Body with a cabin on top and two wheels cut out below.
  cairo_move_to(cr, ox + 0.22 * s, oy + 0.42 * s);
  cairo_line_to(cr, ox + 0.32 * s, oy + 0.2 * s);
  cairo_line_to(cr, ox + 0.68 * s, oy + 0.2 * s);
  cairo_line_to(cr, ox + 0.78 * s, oy + 0.42 * s);
  cairo_close_path(cr);
  roundedRect(cr, ox + 0.08 * s, oy + 0.4 * s, 0.84 * s, 0.3 * s, 0.08 * s);
  cairo_fill(cr);
  cairo_arc(cr, ox + 0.28 * s, oy + 0.74 * s, 0.09 * s, 0, 2 * kPi);
  cairo_fill(cr);
  cairo_arc(cr, ox + 0.72 * s, oy + 0.74 * s, 0.09 * s, 0, 2 * kPi);
  cairo_fill(cr);
}

void lockBody(cairo_t* cr, bool open) {
  roundedRect(cr, 0.2, 0.45, 0.6, 0.45, 0.08);
  cairo_fill(cr);
  cairo_set_line_width(cr, 0.09);
  cairo_new_sub_path(cr);
  double cx = open ? 0.66 : 0.5;
  cairo_arc(cr, cx, 0.32, 0.17, kPi, 2 * kPi);
  cairo_move_to(cr, cx - 0.17, 0.32);
  cairo_line_to(cr, cx - 0.17, open ? 0.36 : 0.47);
  cairo_move_to(cr, cx + 0.17, 0.32);
  cairo_line_to(cr, cx + 0.17, 0.47);
  cairo_stroke(cr);
}

const std::map<std::string, std::function<void(cairo_t*)>>& painters() {
  static const std::map<std::string, std::function<void(cairo_t*)>> map = {
      {"chevron.backward",
       [](cairo_t* cr) {
         cairo_set_line_width(cr, 0.12);
         cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
         cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
         cairo_move_to(cr, 0.62, 0.15);
         cairo_line_to(cr, 0.3, 0.5);
         cairo_line_to(cr, 0.62, 0.85);
         cairo_stroke(cr);
       }},
      {"exclamationmark.triangle.fill",
       [](cairo_t* cr) {
         cairo_move_to(cr, 0.5, 0.06);
         cairo_line_to(cr, 0.96, 0.9);
         cairo_line_to(cr, 0.04, 0.9);
         cairo_close_path(cr);
         cairo_fill(cr);
         // The mark is cut out of the triangle.
         cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
         roundedRect(cr, 0.455, 0.34, 0.09, 0.32, 0.04);
         cairo_fill(cr);
         cairo_arc(cr, 0.5, 0.76, 0.055, 0, 2 * kPi);
         cairo_fill(cr);
         cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
       }},
      {"car.fill", [](cairo_t* cr) { car(cr, 0, 0.05, 1.0); }},
      {"car.2.fill",
       [](cairo_t* cr) {
         car(cr, 0.0, 0.25, 0.62);
         car(cr, 0.38, 0.05, 0.62);
       }},
      {"lock.fill", [](cairo_t* cr) { lockBody(cr, false); }},
      {"lock.open.fill", [](cairo_t* cr) { lockBody(cr, true); }},
      {"location.fill",
       [](cairo_t* cr) {
         cairo_move_to(cr, 0.9, 0.1);
         cairo_line_to(cr, 0.55, 0.92);
         cairo_line_to(cr, 0.45, 0.55);
         cairo_line_to(cr, 0.08, 0.45);
         cairo_close_path(cr);
         cairo_fill(cr);
       }},
      {"power",
       [](cairo_t* cr) {
         cairo_set_line_width(cr, 0.1);
         cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
         cairo_arc(cr, 0.5, 0.55, 0.33, -kPi / 2 + 0.6, 3 * kPi / 2 - 0.6);
         cairo_stroke(cr);
         cairo_move_to(cr, 0.5, 0.08);
         cairo_line_to(cr, 0.5, 0.5);
         cairo_stroke(cr);
       }},
      {"wind",
       [](cairo_t* cr) {
         cairo_set_line_width(cr, 0.08);
         cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
         const double ys[] = {0.3, 0.5, 0.7};
         const double ends[] = {0.7, 0.85, 0.6};
         for (int i = 0; i < 3; ++i) {
           cairo_move_to(cr, 0.1, ys[i]);
           cairo_line_to(cr, ends[i], ys[i]);
           cairo_arc(cr, ends[i], ys[i] - 0.08, 0.08, kPi / 2, -kPi / 2 + 0.3);
           cairo_stroke(cr);
         }
       }},
      {"window.shade.closed",
       [](cairo_t* cr) {
         cairo_set_line_width(cr, 0.07);
         roundedRect(cr, 0.12, 0.1, 0.76, 0.8, 0.06);
         cairo_stroke(cr);
         for (double y = 0.22; y < 0.85; y += 0.13) {
           cairo_rectangle(cr, 0.18, y, 0.64, 0.07);
         }
         cairo_fill(cr);
       }},
      {"lightbulb.fill",
       [](cairo_t* cr) {
         cairo_arc(cr, 0.5, 0.38, 0.28, 0, 2 * kPi);
         cairo_fill(cr);
         cairo_rectangle(cr, 0.36, 0.6, 0.28, 0.14);
         cairo_fill(cr);
         roundedRect(cr, 0.38, 0.78, 0.24, 0.1, 0.04);
         cairo_fill(cr);
       }},
  };
  return map;
}

}  // namespace

bool drawSystemSymbol(cairo_t* cr, const std::string& name) {
  auto it = painters().find(name);
  if (it == painters().end()) return false;
  cairo_save(cr);
  it->second(cr);
  cairo_restore(cr);
  return true;
}

}  // namespace platform::ui::detail
