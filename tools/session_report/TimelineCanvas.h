#pragma once

#include <memory>
#include <string>

#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"

namespace report {

// Drawing verbs over a view: shapes become shape layers of the view, texts become labels on
// it, so the renderer draws the picture and a window can show the same view.
class TimelineCanvas {
 public:
  explicit TimelineCanvas(std::shared_ptr<platform::ui::View> view) : view_(std::move(view)) {}

  void fill(const platform::ui::Rect& rect, const platform::ui::Color& color);
  void fill(const platform::ui::Path& path, const platform::ui::Color& color);
  void stroke(const platform::ui::Path& path, const platform::ui::Color& color, double width);
  void line(platform::ui::Point from, platform::ui::Point to, const platform::ui::Color& color, double width);
  void dashedLine(platform::ui::Point from, platform::ui::Point to, const platform::ui::Color& color, double width,
                  double dash = 6, double space = 4);
  // One line of text whose top-left corner is `at` (its right end for right alignment),
  // at most `maxWidth` wide (elided beyond it; 0: as wide as it is). Returns its frame.
  platform::ui::Rect text(const std::string& text, platform::ui::Point at, const platform::ui::Font& font,
                          const platform::ui::Color& color,
                          platform::ui::TextAlignment alignment = platform::ui::TextAlignment::left,
                          double maxWidth = 0);
  static platform::ui::Size measure(const std::string& text, const platform::ui::Font& font);

  const std::shared_ptr<platform::ui::View>& view() const { return view_; }

 private:
  std::shared_ptr<platform::ui::View> view_;
};

}  // namespace report
