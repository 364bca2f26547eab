#pragma once

namespace lumo {

// How a dialog arranges its two buttons.
enum class ButtonLayout : int {
  horizontal = 0,  // side by side, negative on the left
  vertical = 1,    // positive on top, negative below
};

}  // namespace lumo
