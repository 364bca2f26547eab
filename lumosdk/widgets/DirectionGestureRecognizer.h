#pragma once

#include "platform/ui/GestureRecognizer.h"

namespace lumo {

// The press recogniser of a direction pad: it recognises every touch sequence on its view
// and mirrors it (down: began, move: changed, lift: ended, cancel: cancelled), so that the
// direction input sees each press, each slide and each release.
class DirectionGestureRecognizer : public platform::ui::GestureRecognizer {
 public:
  using GestureRecognizer::GestureRecognizer;
  void touchesBegan(const platform::ui::TouchSet& touches) override;
  void touchesMoved(const platform::ui::TouchSet& touches) override;
  void touchesEnded(const platform::ui::TouchSet& touches) override;
  void touchesCancelled(const platform::ui::TouchSet& touches) override;
};

}  // namespace lumo
