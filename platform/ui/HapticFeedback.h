#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/PlatformExport.h"

namespace platform::ui {

// UIImpactFeedbackGenerator: the phone would tap the user's finger; here each impact is
// recorded (style and clock time) so tests can count them, and handed to the host's
// observer (a desktop host may flash or buzz instead).
class LUMO_PLATFORM_EXPORT ImpactFeedbackGenerator {
 public:
  enum class Style { light, medium, heavy, soft, rigid };
  struct Impact {
    Style style;
    double time;
  };

  explicit ImpactFeedbackGenerator(Style style = Style::medium) : style_(style) {}
  void prepare() {}
  void impactOccurred();
  Style style() const { return style_; }

  static std::vector<Impact> recordedImpacts();
  // Called on the impacting thread after each impact is recorded; nullptr removes it.
  using Observer = std::function<void(const Impact&)>;
  static void setObserver(Observer observer);
  // Drops the recorded impacts and the observer.
  static void resetForTesting();

 private:
  Style style_;
};

}  // namespace platform::ui
