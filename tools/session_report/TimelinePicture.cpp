#include "tools/session_report/TimelinePicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "platform/render/Renderer.h"
#include "platform/ui/Window.h"
#include "tools/session_report/SessionSummary.h"
#include "tools/session_report/TimelineLayout.h"

namespace report {

using namespace platform::ui;
using namespace timeline;

namespace {

constexpr double kDelayLimitMs = 500;
constexpr double kLaneGap = 8;

std::string secondsText(double seconds, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f s", decimals, seconds);
  return text;
}

// A step line: each value holds until the next one is sent.
template <typename Value>
Path steps(const Layout& layout, const std::vector<SessionTrace::ControlFrame>& frames, Value value, Nanoseconds until) {
  Path path;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    Point at{layout.x(frames[i].time), value(frames[i])};
    if (i == 0) path.moveTo(at);
    else path.lineTo({at.x, value(frames[i - 1])}), path.lineTo(at);
  }
  if (!frames.empty()) path.lineTo({layout.x(until), value(frames.back())});
  return path;
}

void scale(TimelineCanvas& canvas, const Layout& layout, const Rect& area, double y, const std::string& text) {
  canvas.line({area.minX(), y}, {area.maxX(), y}, colour::grid(), 1);
  canvas.text(text, {layout.plotLeft - 6, y - 8}, Font::systemFont(11), colour::muted(), TextAlignment::right);
}

void legend(TimelineCanvas& canvas, double x, double y) {
  struct Entry {
    const char* name;
    Color color;
    bool dashed;
  };
  const Entry entries[] = {{"throttle", colour::throttle(), false}, {"brake", colour::brake(), false},
                           {"steering", colour::steering(), false}, {"delay", colour::delay(), false},
                           {"500 ms limit", colour::limit(), true},  {"end", colour::end(), false}};
  const Font font = Font::systemFont(12);
  for (const auto& entry : entries) {
    if (entry.dashed) canvas.dashedLine({x, y + 8}, {x + 20, y + 8}, entry.color, 2, 4, 3);
    else canvas.line({x, y + 8}, {x + 20, y + 8}, entry.color, 3);
    Rect frame = canvas.text(entry.name, {x + 26, y}, font, colour::text());
    x = frame.maxX() + 18;
  }
}

double header(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace) {
  std::string title = "Session";
  if (trace.start) title += " " + trace.start->vehicleName + " · " + trace.start->vin;
  canvas.text(title, {16, 12}, Font::boldSystemFont(20), colour::text(), TextAlignment::left, layout.width - 32);
  SessionSummary summary = SessionSummary::of(trace);
  std::string facts = secondsText(static_cast<double>(summary.duration) / 1e9, 1) + " · " +
                      std::to_string(summary.framesSent) + " frames sent · " + std::to_string(summary.framesReceived) +
                      " received, " + std::to_string(summary.framesRefused) + " refused";
  if (summary.delayMedianMs) {
    facts += " · delay median " + std::to_string(*summary.delayMedianMs) + " ms, max " +
             std::to_string(*summary.delayMaxMs) + " ms";
  }
  facts += " · end: " + (trace.end ? trace.end->reason : std::string("not recorded"));
  canvas.text(facts, {16, 42}, Font::systemFont(13), colour::muted(), TextAlignment::left, layout.width - 32);
  if (trace.cut) {
    std::string cut = "Recording cut short at byte " + std::to_string(trace.cut->offset) + ": " + trace.cut->why;
    canvas.text(cut, {16, 62}, Font::boldSystemFont(13), colour::limit(), TextAlignment::left, layout.width - 32);
  }
  legend(canvas, layout.plotLeft, trace.cut ? 86 : 70);
  // A row for the texts of the end and cut lines, just above the lanes.
  return trace.cut ? 134 : 118;
}

// One lane of a value the frames carry, drawn as steps between `lowest` and `highest`, with
// the scale's figures where they fall.
struct ValueLane {
  const char* name;
  double height;
  double lowest;
  double highest;
  std::vector<std::pair<double, const char*>> figures;
  int SessionTrace::ControlFrame::*field;
  platform::ui::Color colour;
};

double valueLane(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top,
                 const ValueLane& spec) {
  Rect area = lane(canvas, layout, top, spec.height, spec.name);
  auto y = [&](double value) {
    return area.maxY() - 10 - (value - spec.lowest) / (spec.highest - spec.lowest) * (spec.height - 20);
  };
  for (const auto& [value, figure] : spec.figures) scale(canvas, layout, area, y(value), figure);
  Nanoseconds until = trace.end ? trace.end->time : trace.last();
  canvas.stroke(steps(layout, trace.control, [&](const auto& f) { return y(f.*spec.field); }, until), spec.colour, 2);
  return spec.height + kLaneGap;
}

double delayLane(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top) {
  constexpr double kHeight = 104;
  Rect area = lane(canvas, layout, top, kHeight, "Delay");
  double most = kDelayLimitMs * 1.2;
  for (const auto& state : trace.states) {
    if (state.delayMs) most = std::max(most, static_cast<double>(*state.delayMs) * 1.1);
  }
  double ceiling = std::ceil(most / 100) * 100;
  auto y = [&](double ms) { return area.maxY() - 6 - ms / ceiling * (kHeight - 12); };
  scale(canvas, layout, area, y(0), "0 ms");
  scale(canvas, layout, area, y(ceiling), std::to_string(static_cast<int>(ceiling)) + " ms");
  canvas.dashedLine({area.minX(), y(kDelayLimitMs)}, {area.maxX(), y(kDelayLimitMs)}, colour::limit(), 1.5);
  canvas.text("500 ms", {layout.plotLeft - 6, y(kDelayLimitMs) - 8}, Font::systemFont(11), colour::limit(),
              TextAlignment::right);
  Path line, dots, refused;
  bool drawing = false;
  for (const auto& state : trace.states) {
    double x = layout.x(state.time);
    if (!state.accepted) {
      // A refused frame: a red mark on the lane's floor.
      refused.append(Path::rect({x - 1, area.maxY() - 10, 2, 8}));
      continue;
    }
    if (!state.delayMs) continue;
    Point at{x, y(*state.delayMs)};
    if (drawing) line.lineTo(at);
    else line.moveTo(at), drawing = true;
    dots.append(Path::ellipse({at.x - 1.5, at.y - 1.5, 3, 3}));
  }
  canvas.stroke(line, colour::delay(), 1.5);
  canvas.fill(dots, colour::delay());
  canvas.fill(refused, colour::brake());
  return kHeight + kLaneGap;
}

// Seconds along the bottom, and a faint line up through every lane at each.
void timeAxis(TimelineCanvas& canvas, const Layout& layout, double lanesTop, double bottom) {
  double seconds = static_cast<double>(layout.span) / 1e9;
  double most = std::max(2.0, std::floor(layout.plotWidth() / 70));
  double step = 0.1;
  for (double candidate : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 1800.0, 3600.0}) {
    step = candidate;
    if (seconds / candidate <= most) break;
  }
  // Beyond hours (a damaged time stamp can claim centuries), whole hours still few enough.
  if (seconds / step > most) step = std::ceil(seconds / most / 3600) * 3600;
  int decimals = step < 1 ? 1 : 0;
  canvas.line({layout.plotLeft, bottom}, {layout.plotRight, bottom}, colour::muted(), 1);
  for (double t = 0; t <= seconds + 1e-9; t += step) {
    double x = layout.plotLeft + t / seconds * layout.plotWidth();
    canvas.line({x, lanesTop}, {x, bottom}, colour::grid().withAlpha(0.7), 1);
    canvas.line({x, bottom}, {x, bottom + 5}, colour::muted(), 1);
    canvas.text(secondsText(t, decimals), {x, bottom + 7}, Font::systemFont(11), colour::muted(), TextAlignment::center);
  }
  canvas.text("time since the session started", {layout.plotRight, bottom + 24}, Font::systemFont(12), colour::muted(),
              TextAlignment::right);
}

// The end's line and the cut's through every lane, their texts in the row above the lanes.
void endMarker(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top, double bottom) {
  const Font font = Font::boldSystemFont(12);
  double row = top - 20;
  double endTextLeft = layout.plotRight;
  if (trace.end) {
    double x = layout.x(trace.end->time);
    canvas.line({x, row}, {x, bottom}, colour::end(), 2);
    std::string text = "end: " + trace.end->reason + (trace.end->text.empty() ? "" : " · " + trace.end->text);
    double width = std::min(TimelineCanvas::measure(text, font).width, layout.plotWidth() / 2);
    // Beside the line, on whichever side has the room.
    bool left = x + 6 + width > layout.plotRight;
    Rect frame = canvas.text(text, {left ? x - 6 : x + 6, row}, font, colour::end(),
                             left ? TextAlignment::right : TextAlignment::left, width);
    endTextLeft = frame.minX();
  }
  if (trace.cut) {
    double x = layout.x(trace.last());
    canvas.dashedLine({x, row}, {x, bottom}, colour::muted(), 2);
    double width = TimelineCanvas::measure("cut", font).width;
    // Left of its line, unless the end's text is there.
    bool clear = x - 6 < endTextLeft - 8 || !trace.end;
    canvas.text("cut", {clear ? x - 6 : x + 6, row}, font, colour::muted(),
                clear ? TextAlignment::right : TextAlignment::left, width);
  }
}

}  // namespace

std::shared_ptr<View> TimelinePicture::make(const SessionTrace& trace, double width) {
  Layout layout;
  layout.width = width;
  layout.plotRight = width - 28;
  layout.origin = trace.origin();
  layout.span = std::max<Nanoseconds>(trace.last() - layout.origin, 1'000'000'000);

  // Drawn into a tall view, which then ends below the time axis.
  auto view = View::make({0, 0, width, 2000});
  view->setBackgroundColor(colour::background());
  TimelineCanvas canvas(view);
  double y = header(canvas, layout, trace);
  double lanesTop = y;
  using Frame = SessionTrace::ControlFrame;
  y += valueLane(canvas, layout, trace, y,
                 {"Throttle", 88, -30, 30, {{30, "30"}, {0, "0"}, {-30, "-30"}}, &Frame::throttle, colour::throttle()});
  y += valueLane(canvas, layout, trace, y, {"Brake", 56, 0, 30, {{30, "30"}, {0, "0"}}, &Frame::brake, colour::brake()});
  // Right turns up, as the throttle's forward is.
  y += valueLane(canvas, layout, trace, y,
                 {"Steering", 88, -100, 100, {{100, "right 100"}, {0, "0"}, {-100, "left 100"}}, &Frame::steering,
                  colour::steering()});
  y += driveModeBand(canvas, layout, trace, y);
  y += authorityBand(canvas, layout, trace, y);
  y += delayLane(canvas, layout, trace, y);
  y += linkBand(canvas, layout, trace, y);
  y += inputBand(canvas, layout, trace, y);
  y += uiTexts(canvas, layout, trace, y);
  timeAxis(canvas, layout, lanesTop, y);
  endMarker(canvas, layout, trace, lanesTop, y);
  view->setFrame({0, 0, width, std::ceil(y + 48)});
  return view;
}

platform::render::Bitmap TimelinePicture::render(const SessionTrace& trace, double width, double scale) {
  auto view = make(trace, width);
  auto window = Window::make(view->frame());
  window->addSubview(view);
  window->setHidden(false);
  platform::render::Renderer renderer(scale);
  return renderer.render(*window);
}

bool TimelinePicture::writePng(const SessionTrace& trace, const std::filesystem::path& path, double width,
                               double scale) {
  return render(trace, width, scale).writePng(path);
}

}  // namespace report
