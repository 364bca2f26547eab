#include "platform/ui/detail/TextLayout.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Font.h"

namespace platform::ui::detail {
namespace {

cairo_t* measuringContext() {
  // Main thread only, like every text the toolkit sets.
  static cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  static cairo_t* cr = cairo_create(surface);
  return cr;
}

bool isValidUtf8(const std::string& text) { return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr); }

// Characters on the last line, trailing spaces not counted.
long lastLineLength(PangoLayout* layout, const std::string& text) {
  int count = pango_layout_get_line_count(layout);
  PangoLayoutLine* line = pango_layout_get_line_readonly(layout, count - 1);
  std::size_t start = static_cast<std::size_t>(line->start_index);
  std::size_t end = std::min(text.size(), start + static_cast<std::size_t>(line->length));
  while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\n')) --end;
  return g_utf8_strlen(text.data() + start, static_cast<gssize>(end - start));
}

// A wrapped text whose last line holds a single character ("…的车" / "门") reads badly,
// above all in Chinese. Narrower trial widths find breaks that carry a second character
// down without adding a line; those breaks are then fixed as line feeds so the text keeps
// its full width and stays aligned where it was.
void avoidLoneLastCharacter(PangoLayout* layout, const std::string& text, double wrapWidth, double fontSize) {
  int lines = pango_layout_get_line_count(layout);
  if (lines < 2 || pango_layout_is_ellipsized(layout) || lastLineLength(layout, text) != 1) return;
  for (int step = 1; step <= 4; ++step) {
    double trial = wrapWidth - step * fontSize;
    if (trial < 2 * fontSize) return;
    pango_layout_set_width(layout, static_cast<int>(trial * PANGO_SCALE));
    if (pango_layout_get_line_count(layout) != lines) break;
    if (lastLineLength(layout, text) < 2) continue;
    std::string broken;
    std::size_t from = 0;
    for (GSList* item = pango_layout_get_lines_readonly(layout); item; item = item->next) {
      auto start = static_cast<std::size_t>(static_cast<PangoLayoutLine*>(item->data)->start_index);
      if (start > from) {
        broken.append(text, from, start - from);
        if (broken.back() != '\n') broken.push_back('\n');
        from = start;
      }
    }
    broken.append(text, from, std::string::npos);
    pango_layout_set_text(layout, broken.c_str(), static_cast<int>(broken.size()));
    break;
  }
  pango_layout_set_width(layout, static_cast<int>(wrapWidth * PANGO_SCALE));
}

}  // namespace

PangoLayout* createLayout(cairo_t* cr, const TextStyle& style) {
  PangoLayout* layout = pango_cairo_create_layout(cr ? cr : measuringContext());
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, kFontFamily);
  pango_font_description_set_weight(font, style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_absolute_size(font, std::max(1.0, style.fontSize) * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  // Bytes that are not UTF-8 are shown as nothing rather than upsetting pango.
  const std::string& text = isValidUtf8(style.text) ? style.text : std::string();
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  PangoAlignment alignment = PANGO_ALIGN_LEFT;
  if (style.alignment == TextAlignment::center) alignment = PANGO_ALIGN_CENTER;
  if (style.alignment == TextAlignment::right) alignment = PANGO_ALIGN_RIGHT;
  pango_layout_set_alignment(layout, alignment);
  if (style.alignment == TextAlignment::justified) pango_layout_set_justify(layout, TRUE);
  if (style.wrapWidth > 0) {
    pango_layout_set_width(layout, static_cast<int>(style.wrapWidth * PANGO_SCALE));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    // Negative height = a line count; -1 = one line.
    pango_layout_set_height(layout, style.numberOfLines > 0 ? -style.numberOfLines : -100000);
    if (style.numberOfLines == 0) pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_NONE);
    if (style.numberOfLines != 1) avoidLoneLastCharacter(layout, text, style.wrapWidth, std::max(1.0, style.fontSize));
  } else if (style.numberOfLines == 1) {
    pango_layout_set_single_paragraph_mode(layout, TRUE);
  }
  return layout;
}

Size measure(const TextStyle& style) {
  if (style.text.empty()) return {0, 0};
  PangoLayout* layout = createLayout(nullptr, style);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  double width = logical.width;
  if (style.wrapWidth > 0) width = std::min(width, style.wrapWidth);
  return {std::ceil(width), std::ceil(static_cast<double>(logical.height))};
}

}  // namespace platform::ui::detail
