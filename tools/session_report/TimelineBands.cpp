#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "tools/session_report/LabelRows.h"
#include "tools/session_report/TimelineLayout.h"

namespace report::timeline {

using namespace platform::ui;

namespace {

constexpr double kBandHeight = 24;
constexpr double kBandGap = 6;
const Font kBandFont = Font::systemFont(12);

struct Segment {
  Nanoseconds from = 0;
  std::string name;
  Color color;
};

// Each segment lasts until the next one starts, the last one until the picture ends.
void drawSegments(TimelineCanvas& canvas, const Layout& layout, const Rect& band, const std::vector<Segment>& segments) {
  for (std::size_t i = 0; i < segments.size(); ++i) {
    double x0 = layout.x(segments[i].from);
    double x1 = i + 1 < segments.size() ? layout.x(segments[i + 1].from) : band.maxX();
    if (x1 <= x0) continue;
    canvas.fill(Rect{x0, band.minY() + 2, x1 - x0, band.height() - 4}, segments[i].color);
    Size size = TimelineCanvas::measure(segments[i].name, kBandFont);
    if (size.width + 8 <= x1 - x0) {
      canvas.text(segments[i].name, {x0 + 4, band.midY() - size.height / 2}, kBandFont, Color::white());
    }
  }
}

// Appends a segment when the value differs from the last one's.
void change(std::vector<Segment>& segments, Nanoseconds at, std::string name, Color color) {
  if (!segments.empty() && segments.back().name == name) return;
  segments.push_back({at, std::move(name), color});
}

std::string driveModeName(int mode) {
  switch (mode) {
    case 0: return "ready";
    case 1: return "autonomous";
    case 4: return "on-site control";
    case 5: return "remote control";
    case 6: return "safety takeover";
    case 8: return "phone control";
    default: return "mode " + std::to_string(mode);
  }
}

Color driveModeColor(int mode) {
  switch (mode) {
    case 0: return Color::rgb255(120, 130, 150);
    case 1: return Color::rgb255(40, 110, 200);
    case 4: return Color::rgb255(130, 80, 190);
    case 5: return Color::rgb255(225, 120, 20);
    case 6: return Color::rgb255(200, 40, 40);
    case 8: return Color::rgb255(30, 150, 80);
    default: return Color::rgb255(90, 90, 90);
  }
}

Color linkColor(const std::string& state) {
  if (state == "linkConnected") return Color::rgb255(30, 150, 80);
  if (state == "scanning") return Color::rgb255(70, 140, 210);
  if (state == "connectingDevice") return Color::rgb255(200, 150, 20);
  if (state == "scanTimedOut" || state == "connectTimedOut") return Color::rgb255(200, 40, 40);
  return Color::rgb255(140, 146, 156);
}

}  // namespace

Rect lane(TimelineCanvas& canvas, const Layout& layout, double top, double height, const std::string& name) {
  Rect area{layout.plotLeft, top, layout.plotWidth(), height};
  canvas.fill(area, colour::lane());
  // Names on the left, clear of the scale figures that end at the plot's edge.
  Size size = TimelineCanvas::measure(name, Font::boldSystemFont(13));
  canvas.text(name, {12, top + (std::min(height, 40.0) - size.height) / 2}, Font::boldSystemFont(13), colour::text(),
              TextAlignment::left, layout.plotLeft - 82);
  return area;
}

double driveModeBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top) {
  Rect band = lane(canvas, layout, top, kBandHeight, "Drive mode");
  std::vector<Segment> segments;
  for (const auto& state : trace.states) {
    if (state.accepted) change(segments, state.time, driveModeName(state.driveMode), driveModeColor(state.driveMode));
  }
  drawSegments(canvas, layout, band, segments);
  return kBandHeight + kBandGap;
}

double authorityBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top) {
  Rect band = lane(canvas, layout, top, kBandHeight, "Authority");
  std::vector<Segment> segments;
  for (const auto& state : trace.states) {
    if (!state.accepted) continue;
    if (state.authority) change(segments, state.time, "phone", Color::rgb255(30, 150, 80));
    else change(segments, state.time, "none", Color::rgb255(170, 176, 186));
  }
  drawSegments(canvas, layout, band, segments);
  return kBandHeight + kBandGap;
}

double linkBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top) {
  Rect band = lane(canvas, layout, top, kBandHeight, "Link");
  std::vector<Segment> segments;
  for (const auto& link : trace.links) change(segments, link.time, link.state, linkColor(link.state));
  drawSegments(canvas, layout, band, segments);
  return kBandHeight + kBandGap;
}

double inputBand(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top) {
  Rect band = lane(canvas, layout, top, kBandHeight, "Inputs");
  Path selects, releases, wheel;
  for (const auto& input : trace.inputs) {
    double x = layout.x(input.time);
    if (input.event == "select") {
      // A press: a triangle pointing down onto its moment.
      selects.moveTo({x - 4, band.minY() + 3});
      selects.lineTo({x + 4, band.minY() + 3});
      selects.lineTo({x, band.midY()});
      selects.close();
    } else if (input.event == "release") {
      releases.moveTo({x - 4, band.maxY() - 3});
      releases.lineTo({x + 4, band.maxY() - 3});
      releases.lineTo({x, band.midY()});
      releases.close();
    } else if (input.event == "wheel") {
      wheel.append(Path::ellipse({x - 2, band.midY() - 2, 4, 4}));
    }
  }
  canvas.fill(selects, Color::rgb255(30, 150, 80));
  canvas.fill(releases, Color::rgb255(110, 118, 130));
  canvas.fill(wheel, colour::steering());
  return kBandHeight + kBandGap;
}

double uiTexts(TimelineCanvas& canvas, const Layout& layout, const SessionTrace& trace, double top) {
  constexpr int kRows = 4;
  constexpr double kRowHeight = 22;
  constexpr double kMaxTextWidth = 300;
  constexpr std::size_t kMostTexts = 400;
  const Font font = Font::systemFont(12);
  // A strip of moments on top (every text shown, drawn or not), then the rows of texts.
  constexpr double kStrip = 8;
  Rect area = lane(canvas, layout, top, kStrip + kRows * kRowHeight + 6, "Shown");
  Nanoseconds pictureEnd = layout.origin + layout.span;

  struct Shown {
    const SessionTrace::Ui* ui;
    Nanoseconds until;
    std::string text;
    double textWidth;
  };
  // On screen until its dismissal (the next one of its kind), or to the picture's end: found
  // in one pass from the end, however many texts a recording holds.
  std::vector<Nanoseconds> untils(trace.ui.size(), pictureEnd);
  std::map<std::string, Nanoseconds> nextDismissal;
  for (std::size_t i = trace.ui.size(); i-- > 0;) {
    const auto& ui = trace.ui[i];
    if (ui.action == "dismiss") {
      nextDismissal[ui.kind] = ui.time;
    } else if (auto found = nextDismissal.find(ui.kind); found != nextDismissal.end()) {
      untils[i] = found->second;
    }
  }
  std::vector<Shown> shown;
  std::vector<LabelRows::Item> items;
  int leftOut = 0;
  for (std::size_t i = 0; i < trace.ui.size(); ++i) {
    const auto& ui = trace.ui[i];
    if (ui.action != "show") continue;
    // Far more than the rows can hold: the rest are only counted.
    if (shown.size() == kMostTexts) {
      ++leftOut;
      continue;
    }
    Nanoseconds until = untils[i];
    std::string text = ui.kind + ": " + (ui.text.empty() ? "(no text)" : ui.text);
    double width = std::min(TimelineCanvas::measure(text, font).width, kMaxTextWidth);
    double x = layout.x(ui.time);
    double reach = std::max(x + width + 6, layout.x(until)) - x;
    shown.push_back({&ui, until, text, width});
    items.push_back({x, reach});
  }
  LabelRows rows(kRows, area.maxX());
  auto placements = rows.place(items);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto& placement = placements[i];
    double moment = layout.x(shown[i].ui->time);
    Color tint = shown[i].ui->kind == "dialog" || shown[i].ui->kind == "warning" ? Color::rgb255(200, 60, 40)
                                                                                 : Color::rgb255(60, 90, 160);
    canvas.line({moment, area.minY() + 1}, {moment, area.minY() + kStrip - 1}, placement.row < 0 ? colour::muted() : tint,
                1);
    if (placement.row < 0) {
      ++leftOut;
      continue;
    }
    double y = area.minY() + kStrip + 3 + placement.row * kRowHeight;
    // At its moment (or pushed back from the right edge): how long it stayed on screen under
    // its text. Slid right to find room, it keeps only its mark in the strip above.
    if (placement.x <= moment + 1) {
      canvas.fill(Rect{moment, y + kRowHeight - 5, std::max(2.0, layout.x(shown[i].until) - moment), 3},
                  tint.withAlpha(0.6));
      bool under = placement.x < moment && moment < placement.x + 3 + shown[i].textWidth;
      canvas.line({moment, under ? y + kRowHeight - 7 : y + 1}, {moment, y + kRowHeight - 2}, tint, 1.5);
    }
    canvas.text(shown[i].text, {placement.x + 3, y}, font, colour::text(), TextAlignment::left, shown[i].textWidth);
  }

  if (leftOut > 0) {
    // Appended rather than "+" + string: GCC 12 warns falsely (-Wrestrict) on that form at -O2.
    std::string more = "+";
    more += std::to_string(leftOut);
    more += " more not drawn";
    canvas.text(more, {12, area.maxY() - 20}, Font::systemFont(11), colour::muted(), TextAlignment::left,
                layout.plotLeft - 24);
  }
  return area.height() + kBandGap;
}

}  // namespace report::timeline
