#pragma once

#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "tools/session_report/SessionTrace.h"
#include "tools/session_report/TimelineCanvas.h"

namespace report::timeline {

// The picture's geometry: a column of lane names on the left, lanes stacked down the plot,
// one time axis for all of them.
struct Layout {
  double width = 0;
  double plotLeft = 190;
  double plotRight = 0;
  Nanoseconds origin = 0;
  Nanoseconds span = 1;  // at least one nanosecond

  double x(Nanoseconds time) const {
    double fraction = static_cast<double>(time - origin) / static_cast<double>(span);
    return plotLeft + fraction * (plotRight - plotLeft);
  }
  double plotWidth() const { return plotRight - plotLeft; }
};

// Palette shared by the lanes.
namespace colour {
inline platform::ui::Color background() { return platform::ui::Color::rgb255(250, 250, 252); }
inline platform::ui::Color lane() { return platform::ui::Color::rgb255(240, 242, 246); }
inline platform::ui::Color grid() { return platform::ui::Color::rgb255(214, 218, 226); }
inline platform::ui::Color text() { return platform::ui::Color::rgb255(30, 34, 42); }
inline platform::ui::Color muted() { return platform::ui::Color::rgb255(104, 112, 124); }
inline platform::ui::Color throttle() { return platform::ui::Color::rgb255(0, 110, 230); }
inline platform::ui::Color brake() { return platform::ui::Color::rgb255(214, 40, 40); }
inline platform::ui::Color steering() { return platform::ui::Color::rgb255(230, 130, 0); }
inline platform::ui::Color delay() { return platform::ui::Color::rgb255(120, 60, 200); }
inline platform::ui::Color limit() { return platform::ui::Color::rgb255(214, 40, 40); }
inline platform::ui::Color end() { return platform::ui::Color::rgb255(150, 20, 20); }
}  // namespace colour

// A lane's background and its name in the left column; returns the lane's rectangle.
platform::ui::Rect lane(TimelineCanvas& canvas, const Layout& layout, double top, double height,
                        const std::string& name);

// Bands and texts (TimelineBands.cpp); each returns the height it used.
double driveModeBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top);
double authorityBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top);
double linkBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top);
double inputBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top);
double uiTexts(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top);

}  // namespace report::timeline
