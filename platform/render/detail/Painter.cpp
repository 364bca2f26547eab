#include "platform/render/detail/Painter.h"

#include <cmath>
#include <numbers>

#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/detail/TextLayout.h"
#include "platform/render/detail/RenderCache.h"

namespace platform::render::detail {
namespace {

using ui::Color;

void setColor(cairo_t* cr, const Color& c) {
  cairo_set_source_rgba(cr, std::clamp(c.red, 0.0, 1.0), std::clamp(c.green, 0.0, 1.0), std::clamp(c.blue, 0.0, 1.0),
                        std::clamp(c.alpha, 0.0, 1.0));
}

void roundedRectPath(cairo_t* cr, double w, double h, double radius) {
  double r = std::clamp(radius, 0.0, std::min(w, h) / 2);
  cairo_new_path(cr);
  if (r <= 0) {
    cairo_rectangle(cr, 0, 0, w, h);
    return;
  }
  constexpr double pi = std::numbers::pi;
  cairo_arc(cr, w - r, r, r, -pi / 2, 0);
  cairo_arc(cr, w - r, h - r, r, 0, pi / 2);
  cairo_arc(cr, r, h - r, r, pi / 2, pi);
  cairo_arc(cr, r, r, r, pi, 3 * pi / 2);
  cairo_close_path(cr);
}

// The border lies inside the bounds and above everything, as Core Animation draws it: the
// ring between the outer rounded rectangle and the one inset by the border width (a fill,
// which costs cairo far less than stroking the arcs).
void paintBorder(cairo_t* cr, const ui::Layer& layer, double w, double h) {
  double bw = layer.borderWidth();
  if (bw <= 0 || layer.borderColor().alpha <= 0 || w <= 0 || h <= 0) return;
  roundedRectPath(cr, w, h, layer.cornerRadius());
  if (w > 2 * bw && h > 2 * bw) {
    cairo_save(cr);
    cairo_translate(cr, bw, bw);
    cairo_new_sub_path(cr);
    double r = std::max(0.0, layer.cornerRadius() - bw);
    double iw = w - 2 * bw, ih = h - 2 * bw;
    r = std::min(r, std::min(iw, ih) / 2);
    if (r <= 0) {
      cairo_rectangle(cr, 0, 0, iw, ih);
    } else {
      constexpr double pi = std::numbers::pi;
      cairo_arc(cr, iw - r, r, r, -pi / 2, 0);
      cairo_arc(cr, iw - r, ih - r, r, 0, pi / 2);
      cairo_arc(cr, r, ih - r, r, pi / 2, pi);
      cairo_arc(cr, r, r, r, pi, 3 * pi / 2);
      cairo_close_path(cr);
    }
    cairo_restore(cr);
  }
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  setColor(cr, layer.borderColor());
  cairo_fill(cr);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
}

void applyTransform(cairo_t* cr, const ui::AffineTransform& t) {
  if (t.isIdentity()) return;
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
  cairo_transform(cr, &m);
}

void tracePath(cairo_t* cr, const ui::Path& path) {
  cairo_new_path(cr);
  for (const auto& e : path.elements()) {
    switch (e.op) {
      case ui::Path::Op::moveTo: cairo_move_to(cr, e.p1.x, e.p1.y); break;
      case ui::Path::Op::lineTo: cairo_line_to(cr, e.p1.x, e.p1.y); break;
      case ui::Path::Op::curveTo: cairo_curve_to(cr, e.p1.x, e.p1.y, e.p2.x, e.p2.y, e.p3.x, e.p3.y); break;
      case ui::Path::Op::arc:
        if (e.clockwise) cairo_arc(cr, e.p1.x, e.p1.y, e.radius, e.startAngle, e.endAngle);
        else cairo_arc_negative(cr, e.p1.x, e.p1.y, e.radius, e.startAngle, e.endAngle);
        break;
      case ui::Path::Op::close: cairo_close_path(cr); break;
    }
  }
}

}  // namespace

// Draws an image into `rect`; a template image is its alpha shape filled with `tint`. The
// image is scaled once to the pixel size it covers and kept for the next frames.
void Painter::paintImage(const std::shared_ptr<ui::Image>& image, const ui::Rect& rect, const Color& tint) {
  if (rect.isEmpty()) return;
  double dx = rect.width(), dy = 0, ex = 0, ey = rect.height();
  cairo_user_to_device_distance(cr_, &dx, &dy);
  cairo_user_to_device_distance(cr_, &ex, &ey);
  int pw = std::max(1, static_cast<int>(std::lround(std::hypot(dx, dy))));
  int ph = std::max(1, static_cast<int>(std::lround(std::hypot(ex, ey))));
  cairo_surface_t* surface = cache_.image(image, pw, ph, image->isTemplate(), tint);
  cairo_save(cr_);
  cairo_translate(cr_, rect.minX(), rect.minY());
  cairo_scale(cr_, rect.width() / pw, rect.height() / ph);
  cairo_set_source_surface(cr_, surface, 0, 0);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

// Text laid out in a box; vertically centred when `centre`, else from the top.
void Painter::paintText(const ui::detail::TextStyle& style, const Color& color, double width, double height,
                        bool centre) {
  if (style.text.empty() || width <= 0) return;
  PangoLayout* layout = cache_.layout(cr_, style);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  double y = centre ? (height - logical.height) / 2 : 0;
  cairo_save(cr_);
  cairo_rectangle(cr_, 0, 0, width, height);
  cairo_clip(cr_);
  setColor(cr_, color);
  cairo_move_to(cr_, 0, y);
  pango_cairo_show_layout(cr_, layout);
  cairo_restore(cr_);
}

void Painter::paintRoot(ui::View& root) {
  double w = root.bounds().width(), h = root.bounds().height();
  cairo_save(cr_);
  double alpha = root.presentationAlpha();
  if (alpha < 1) cairo_push_group(cr_);
  paintBody(root, w, h);
  if (alpha < 1) {
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, alpha);
  }
  cairo_restore(cr_);
}

void Painter::paintView(ui::View& view) {
  if (view.isHidden()) return;
  double alpha = view.presentationAlpha();
  if (alpha <= 0.0) return;
  ui::Rect bounds = view.presentationBounds();
  ui::Point center = view.presentationCenter();
  double w = bounds.width(), h = bounds.height();
  cairo_save(cr_);
  cairo_translate(cr_, center.x, center.y);
  applyTransform(cr_, view.presentationTransform());
  cairo_translate(cr_, -w / 2, -h / 2);
  if (alpha < 1) cairo_push_group(cr_);
  paintBody(view, w, h);
  if (alpha < 1) {
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, alpha);
  }
  cairo_restore(cr_);
}

void Painter::paintBody(ui::View& view, double w, double h) {
  const auto& layer = *view.layer();
  double radius = layer.cornerRadius();
  Color background = view.presentationBackgroundColor();
  if (background.alpha > 0) {
    roundedRectPath(cr_, w, h, radius);
    setColor(cr_, background);
    cairo_fill(cr_);
  }
  cairo_save(cr_);
  if (layer.masksToBounds()) {
    roundedRectPath(cr_, w, h, radius);
    cairo_clip(cr_);
  }
  for (const auto& sublayer : layer.sublayers()) paintLayer(*sublayer);
  paintContents(view, w, h);
  ui::Point origin = view.bounds().origin;  // a scroll offset moves the content
  cairo_translate(cr_, -origin.x, -origin.y);
  auto children = view.subviews();
  for (const auto& child : children) paintView(*child);
  cairo_restore(cr_);
  paintBorder(cr_, layer, w, h);
}

void Painter::paintContents(ui::View& view, double w, double h) {
  if (auto* label = dynamic_cast<ui::Label*>(&view)) {
    ui::detail::TextStyle style;
    style.text = label->text();
    style.fontSize = label->effectiveFontSize();
    style.bold = label->font().bold;
    style.alignment = label->textAlignment();
    style.numberOfLines = label->numberOfLines();
    style.wrapWidth = w;
    paintText(style, label->textColor(), w, h, true);
  } else if (auto* imageView = dynamic_cast<ui::ImageView*>(&view)) {
    if (auto image = imageView->image()) {
      paintImage(image, imageView->imageRect(), view.tintColor());
    }
  } else if (auto* spinner = dynamic_cast<ui::ActivityIndicatorView*>(&view)) {
    double cx = w / 2, cy = h / 2, r = std::min(w, h) / 2;
    cairo_set_line_width(cr_, std::max(1.5, r * 0.18));
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
    for (int i = 0; i < 12; ++i) {
      double angle = i * std::numbers::pi / 6 - std::numbers::pi / 2;
      int age = (spinner->phase() - i + 12) % 12;
      setColor(cr_, spinner->color().withAlpha(spinner->color().alpha * (1.0 - age / 14.0)));
      cairo_move_to(cr_, cx + std::cos(angle) * r * 0.45, cy + std::sin(angle) * r * 0.45);
      cairo_line_to(cr_, cx + std::cos(angle) * r * 0.9, cy + std::sin(angle) * r * 0.9);
      cairo_stroke(cr_);
    }
  } else if (auto* field = dynamic_cast<ui::TextField*>(&view)) {
    bool empty = field->text().empty();
    ui::detail::TextStyle style;
    style.text = empty ? field->placeholder() : field->text();
    style.fontSize = field->font().pointSize;
    style.bold = field->font().bold;
    cairo_save(cr_);
    cairo_translate(cr_, 6, 0);
    paintText(style, empty ? Color::white(0.7) : field->textColor(), std::max(0.0, w - 12), h, true);
    cairo_restore(cr_);
  }
}

void Painter::paintLayer(ui::Layer& layer) {
  if (layer.isHidden() || layer.opacity() <= 0) return;
  ui::Rect f = layer.frame();
  double w = f.width(), h = f.height();
  cairo_save(cr_);
  cairo_translate(cr_, f.midX(), f.midY());
  applyTransform(cr_, layer.affineTransform());
  cairo_translate(cr_, -w / 2, -h / 2);
  if (layer.opacity() < 1) cairo_push_group(cr_);
  if (layer.backgroundColor().alpha > 0) {
    roundedRectPath(cr_, w, h, layer.cornerRadius());
    setColor(cr_, layer.backgroundColor());
    cairo_fill(cr_);
  }
  cairo_save(cr_);
  if (layer.masksToBounds()) {
    roundedRectPath(cr_, w, h, layer.cornerRadius());
    cairo_clip(cr_);
  }
  paintLayerKind(layer, w, h);
  for (const auto& sub : layer.sublayers()) paintLayer(*sub);
  cairo_restore(cr_);
  paintBorder(cr_, layer, w, h);
  if (layer.opacity() < 1) {
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, layer.opacity());
  }
  cairo_restore(cr_);
}

void Painter::paintLayerKind(ui::Layer& layer, double w, double h) {
  switch (layer.kind()) {
    case ui::Layer::Kind::gradient: {
      auto& g = static_cast<ui::GradientLayer&>(layer);
      if (g.colors.empty()) return;
      cairo_pattern_t* pattern =
          cairo_pattern_create_linear(g.startPoint.x * w, g.startPoint.y * h, g.endPoint.x * w, g.endPoint.y * h);
      std::size_t n = g.colors.size();
      for (std::size_t i = 0; i < n; ++i) {
        double at = i < g.locations.size() ? g.locations[i] : (n == 1 ? 0.0 : static_cast<double>(i) / (n - 1));
        const auto& c = g.colors[i];
        cairo_pattern_add_color_stop_rgba(pattern, at, c.red, c.green, c.blue, c.alpha);
      }
      roundedRectPath(cr_, w, h, layer.cornerRadius());
      cairo_set_source(cr_, pattern);
      cairo_fill(cr_);
      cairo_pattern_destroy(pattern);
      break;
    }
    case ui::Layer::Kind::shape: {
      auto& s = static_cast<ui::ShapeLayer&>(layer);
      if (s.path.isEmpty()) return;
      tracePath(cr_, s.path);
      if (s.fillColor.alpha > 0) {
        setColor(cr_, s.fillColor);
        cairo_fill_preserve(cr_);
      }
      if (s.strokeColor.alpha > 0 && s.lineWidth > 0) {
        setColor(cr_, s.strokeColor);
        cairo_set_line_width(cr_, s.lineWidth);
        cairo_stroke_preserve(cr_);
      }
      cairo_new_path(cr_);
      break;
    }
    case ui::Layer::Kind::text: {
      auto& t = static_cast<ui::TextLayer&>(layer);
      ui::detail::TextStyle style;
      style.text = t.string;
      style.fontSize = t.fontSize;
      style.bold = t.bold;
      style.alignment = t.alignmentMode;
      style.numberOfLines = t.isWrapped ? 0 : 1;
      style.wrapWidth = w;
      paintText(style, t.foregroundColor, w, h, false);
      break;
    }
    case ui::Layer::Kind::plain: break;
  }
}

}  // namespace platform::render::detail
