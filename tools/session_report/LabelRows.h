#pragma once

#include <cstddef>
#include <vector>

namespace report {

// Stacks texts that belong at moments of a time axis into a few rows so that none overlaps
// another: a text goes in the first row free at its moment; failing that it may slide right
// a little (a leader line keeps its moment); failing that it is left out and counted.
class LabelRows {
 public:
  struct Item {
    double x = 0;      // where the text wants to start (its moment)
    double width = 0;  // how wide it is drawn, including anything drawn after it in its row
  };
  struct Placement {
    double x = 0;  // where it starts
    int row = -1;  // -1: left out
  };

  LabelRows(int rows, double right, double gap = 8, double maxShift = 160)
      : rows_(rows), right_(right), gap_(gap), maxShift_(maxShift) {}

  // Items in order of their moments; one placement each, in the same order.
  std::vector<Placement> place(const std::vector<Item>& items) const;

 private:
  int rows_;
  double right_;
  double gap_;
  double maxShift_;
};

}  // namespace report
