#pragma once

#include <string>
#include <vector>

namespace platform::ui {

// UIImpactFeedbackGenerator: the phone would tap the user's finger; here each impact is
// recorded (style and clock time) so tests can count them.
class ImpactFeedbackGenerator {
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
  static void resetForTesting();

 private:
  Style style_;
};

}  // namespace platform::ui
