#pragma once

#include <filesystem>
#include <memory>

#include "platform/render/Bitmap.h"
#include "platform/ui/View.h"
#include "tools/session_report/SessionTrace.h"

namespace report {

// One picture of a session along its time axis, for an operator asking what happened:
// throttle, brake and steering as sent; drive mode and control authority as bands; the
// measured delay against the 500 ms limit; link states; what the user was shown, at its
// moments; inputs; the end (and where a damaged recording was cut).
class TimelinePicture {
 public:
  static constexpr double kDefaultWidth = 1200;

  // The picture as a view tree `width` points wide (its height follows from the lanes).
  static std::shared_ptr<platform::ui::View> make(const SessionTrace& trace, double width = kDefaultWidth);
  // Drawn by the platform's renderer at `scale` pixels per point.
  static platform::render::Bitmap render(const SessionTrace& trace, double width = kDefaultWidth, double scale = 1);
  static bool writePng(const SessionTrace& trace, const std::filesystem::path& path, double width = kDefaultWidth,
                       double scale = 1);
};

}  // namespace report
