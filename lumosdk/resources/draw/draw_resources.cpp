// Draws the SDK's images as vector drawings and writes each at 1x, 2x and 3x
// ("name.png", "name@2x.png", "name@3x.png") into the folder given as the only argument.
// The PNGs are committed; run the "draw_resources" target after changing a drawing.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <string>

namespace {

constexpr double kPi = std::numbers::pi;

struct Rgb {
  double r, g, b;
};
constexpr Rgb kNavy{16 / 255.0, 54 / 255.0, 132 / 255.0};
constexpr Rgb kInk{51 / 255.0, 51 / 255.0, 51 / 255.0};
constexpr Rgb kBlue{0, 82 / 255.0, 217 / 255.0};

void source(cairo_t* cr, Rgb c, double a = 1) { cairo_set_source_rgba(cr, c.r, c.g, c.b, a); }

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

// A pad: translucent body (so a tinted copy reads as a lit pad) with a solid rim and a solid
// chevron pointing up, turned by `turn` quarter turns clockwise.
void pad(cairo_t* cr, double w, double h, int turn) {
  roundedRect(cr, 2, 2, w - 4, h - 4, 16);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.62);
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 2.5);
  source(cr, kNavy, 0.55);
  cairo_stroke(cr);

  cairo_save(cr);
  cairo_translate(cr, w / 2, h / 2);
  cairo_rotate(cr, turn * kPi / 2);
  double s = std::min(w, h) * 0.5;  // chevron size
  cairo_move_to(cr, -s * 0.55, s * 0.22);
  cairo_line_to(cr, 0, -s * 0.33);
  cairo_line_to(cr, s * 0.55, s * 0.22);
  cairo_set_line_width(cr, s * 0.2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  source(cr, kNavy);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void steeringWheel(cairo_t* cr, double size) {
  double c = size / 2, rim = size * 0.44, thick = size * 0.085;
  // Rim: dark ring with a lighter inner edge.
  cairo_arc(cr, c, c, rim, 0, 2 * kPi);
  cairo_set_line_width(cr, thick);
  cairo_set_source_rgb(cr, 0.16, 0.18, 0.22);
  cairo_stroke(cr);
  cairo_arc(cr, c, c, rim - thick * 0.32, 0, 2 * kPi);
  cairo_set_line_width(cr, thick * 0.18);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
  cairo_stroke(cr);
  // Grips at 9 and 3 o'clock.
  for (double a : {kPi, 0.0}) {
    cairo_arc(cr, c, c, rim, a - 0.32, a + 0.32);
    cairo_set_line_width(cr, thick * 1.15);
    cairo_set_source_rgb(cr, 0.10, 0.11, 0.14);
    cairo_stroke(cr);
  }
  // Top marker so that the turn is visible.
  cairo_arc(cr, c, c, rim, -kPi / 2 - 0.13, -kPi / 2 + 0.13);
  cairo_set_line_width(cr, thick * 1.15);
  source(cr, kBlue);
  cairo_stroke(cr);
  // Three spokes.
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_source_rgb(cr, 0.22, 0.24, 0.29);
  for (double a : {kPi, 0.0, kPi / 2}) {
    cairo_move_to(cr, c, c);
    cairo_line_to(cr, c + std::cos(a) * rim, c + std::sin(a) * rim);
    cairo_set_line_width(cr, a == kPi / 2 ? thick * 1.1 : thick * 0.9);
    cairo_stroke(cr);
  }
  // Hub with a blue badge.
  cairo_arc(cr, c, c, size * 0.14, 0, 2 * kPi);
  cairo_set_source_rgb(cr, 0.22, 0.24, 0.29);
  cairo_fill(cr);
  cairo_arc(cr, c, c, size * 0.085, 0, 2 * kPi);
  source(cr, kBlue);
  cairo_fill(cr);
  cairo_arc(cr, c, c, size * 0.04, 0, 2 * kPi);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_fill(cr);
}

void logo(cairo_t* cr, double w, double h) {
  // Badge: a blue rounded square holding a white wheel mark.
  double b = h - 4;
  roundedRect(cr, 2, 2, b, b, 7);
  source(cr, kBlue);
  cairo_fill(cr);
  double cx = 2 + b / 2, cy = 2 + b / 2;
  cairo_arc(cr, cx, cy, b * 0.3, 0, 2 * kPi);
  cairo_set_line_width(cr, b * 0.09);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_stroke(cr);
  cairo_set_line_width(cr, b * 0.08);
  for (double a : {kPi, 0.0, kPi / 2}) {
    cairo_move_to(cr, cx, cy);
    cairo_line_to(cr, cx + std::cos(a) * b * 0.3, cy + std::sin(a) * b * 0.3);
  }
  cairo_stroke(cr);
  // Word mark.
  cairo_select_font_face(cr, "Noto Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, h * 0.6);
  cairo_text_extents_t ext;
  cairo_text_extents(cr, "LUMO", &ext);
  double room = w - (b + 8) - 2;
  double k = std::min(1.0, room / ext.x_advance);
  cairo_set_font_size(cr, h * 0.6 * k);
  cairo_text_extents(cr, "LUMO", &ext);
  cairo_move_to(cr, b + 8 - ext.x_bearing, h / 2 - ext.y_bearing - ext.height / 2);
  source(cr, kNavy);
  cairo_show_text(cr, "LUMO");
}

void bluetooth(cairo_t* cr, double s) {
  // The rune: a vertical stem with two arrow-heads crossing it.
  cairo_set_line_width(cr, s * 0.12);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  double x = s * 0.48, top = s * 0.07, bottom = s * 0.93, right = s * 0.76, left = s * 0.24;
  cairo_move_to(cr, left, s * 0.29);
  cairo_line_to(cr, right, s * 0.69);
  cairo_line_to(cr, x, bottom);
  cairo_line_to(cr, x, top);
  cairo_line_to(cr, right, s * 0.31);
  cairo_line_to(cr, left, s * 0.71);
  source(cr, kInk);
  cairo_stroke(cr);
}

void power(cairo_t* cr, double s) {
  double c = s / 2;
  cairo_set_line_width(cr, s * 0.1);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_arc(cr, c, c * 1.08, s * 0.33, -kPi / 2 + 0.75, -kPi / 2 - 0.75 + 2 * kPi);
  source(cr, kNavy);
  cairo_stroke(cr);
  cairo_move_to(cr, c, s * 0.12);
  cairo_line_to(cr, c, s * 0.5);
  cairo_stroke(cr);
}

// The switches' icons are shown as template shapes; they are drawn in one dark tone.
void keySwitch(cairo_t* cr, double s) {
  // Four arrow keys in a cross.
  double k = s * 0.28, g = s * 0.04, c = s / 2;
  cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
  const double keys[4][2] = {{c - k / 2, c - k * 1.5 - g}, {c - k / 2, c + k / 2 + g},
                             {c - k * 1.5 - g, c - k / 2}, {c + k / 2 + g, c - k / 2}};
  for (const auto& key : keys) roundedRect(cr, key[0], key[1], k, k, k * 0.22);
  cairo_fill(cr);
  cairo_arc(cr, c, c, k * 0.22, 0, 2 * kPi);
  cairo_fill(cr);
}

void speedMode(cairo_t* cr, double s) {
  double c = s / 2, r = s * 0.42;
  cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
  cairo_set_line_width(cr, s * 0.1);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_arc(cr, c, c + s * 0.08, r, kPi * 0.8, kPi * 2.2);
  cairo_stroke(cr);
  // Needle pointing to the fast side.
  double a = -kPi * 0.22;
  cairo_move_to(cr, c, c + s * 0.08);
  cairo_line_to(cr, c + std::cos(a) * r * 0.78, c + s * 0.08 + std::sin(a) * r * 0.78);
  cairo_set_line_width(cr, s * 0.09);
  cairo_stroke(cr);
  cairo_arc(cr, c, c + s * 0.08, s * 0.09, 0, 2 * kPi);
  cairo_fill(cr);
}

void safeMode(cairo_t* cr, double s) {
  // Shield with a check cut out.
  double c = s / 2;
  cairo_move_to(cr, c, s * 0.06);
  cairo_curve_to(cr, c + s * 0.2, s * 0.16, c + s * 0.34, s * 0.16, c + s * 0.4, s * 0.16);
  cairo_curve_to(cr, c + s * 0.4, s * 0.58, c + s * 0.24, s * 0.8, c, s * 0.94);
  cairo_curve_to(cr, c - s * 0.24, s * 0.8, c - s * 0.4, s * 0.58, c - s * 0.4, s * 0.16);
  cairo_curve_to(cr, c - s * 0.34, s * 0.16, c - s * 0.2, s * 0.16, c, s * 0.06);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
  cairo_fill(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_move_to(cr, c - s * 0.17, s * 0.5);
  cairo_line_to(cr, c - s * 0.03, s * 0.63);
  cairo_line_to(cr, c + s * 0.2, s * 0.36);
  cairo_set_line_width(cr, s * 0.09);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
}

bool write(const std::string& folder, const std::string& name, double width, double height,
           const std::function<void(cairo_t*)>& draw) {
  for (int scale = 1; scale <= 3; ++scale) {
    int pw = static_cast<int>(std::lround(width * scale)), ph = static_cast<int>(std::lround(height * scale));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    draw(cr);
    cairo_destroy(cr);
    std::string file = folder + "/" + name + (scale == 1 ? "" : "@" + std::to_string(scale) + "x") + ".png";
    cairo_status_t status = cairo_surface_write_to_png(surface, file.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
      std::fprintf(stderr, "cannot write %s: %s\n", file.c_str(), cairo_status_to_string(status));
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  std::string out = argv[1];
  // Sizes in points match where the control page shows them.
  bool ok = write(out, "control_logo", 80, 30, [](cairo_t* cr) { logo(cr, 80, 30); }) &&
            write(out, "direc_forward", 160, 80, [](cairo_t* cr) { pad(cr, 160, 80, 0); }) &&
            write(out, "direc_back", 160, 80, [](cairo_t* cr) { pad(cr, 160, 80, 2); }) &&
            write(out, "direc_left", 80, 160, [](cairo_t* cr) { pad(cr, 80, 160, 3); }) &&
            write(out, "direc_right", 80, 160, [](cairo_t* cr) { pad(cr, 80, 160, 1); }) &&
            write(out, "steering_wheel", 170, 170, [](cairo_t* cr) { steeringWheel(cr, 170); }) &&
            write(out, "icon_bluetooth", 16, 16, [](cairo_t* cr) { bluetooth(cr, 16); }) &&
            write(out, "ic_power_settings_new", 20, 20, [](cairo_t* cr) { power(cr, 20); }) &&
            write(out, "key_switch_icon", 27, 27, [](cairo_t* cr) { keySwitch(cr, 27); }) &&
            write(out, "speed_mode_icon", 27, 27, [](cairo_t* cr) { speedMode(cr, 27); }) &&
            write(out, "safe_mode_icon", 27, 27, [](cairo_t* cr) { safeMode(cr, 27); });
  return ok ? 0 : 1;
}
