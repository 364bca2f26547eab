#include "tools/session_report/LabelRows.h"

#include <algorithm>
#include <limits>

namespace report {

std::vector<LabelRows::Placement> LabelRows::place(const std::vector<Item>& items) const {
  std::vector<Placement> placements;
  placements.reserve(items.size());
  // Where each row's last text ends.
  std::vector<double> ends(static_cast<std::size_t>(std::max(rows_, 0)), -std::numeric_limits<double>::infinity());
  for (const auto& item : items) {
    // A text at the right edge ends there instead, reaching back from its moment.
    double x = std::max(0.0, std::min(item.x, right_ - item.width));
    Placement placement;
    for (std::size_t row = 0; row < ends.size(); ++row) {
      if (ends[row] + gap_ <= x) {
        placement = {x, static_cast<int>(row)};
        break;
      }
    }
    if (placement.row < 0 && !ends.empty()) {
      auto freest = std::min_element(ends.begin(), ends.end());
      double slid = *freest + gap_;
      if (slid - x <= maxShift_ && slid + item.width <= right_) {
        placement = {slid, static_cast<int>(freest - ends.begin())};
      }
    }
    if (placement.row >= 0) ends[static_cast<std::size_t>(placement.row)] = placement.x + item.width;
    placements.push_back(placement);
  }
  return placements;
}

}  // namespace report
