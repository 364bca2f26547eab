#pragma once

// Private to the dialogs: the look they share (dimmed screen, white card, blue buttons) and
// the arithmetic of stacking rows on the card.

#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"

namespace lumo::ui {

inline constexpr double kCardWidth = 300;
inline constexpr double kCardCornerRadius = 12;
inline constexpr double kButtonHeight = 44;
inline constexpr double kButtonCornerRadius = 8;
inline constexpr double kSingleButtonWidth = 120;
// Keeps a tall card clear of the screen's edges.
inline constexpr double kCardScreenMargin = 20;

platform::ui::Color dialogBlue();
platform::ui::Color dimmedBackground();
std::shared_ptr<platform::ui::View> makeCard();
// Centred, wrapping without a line limit.
std::shared_ptr<platform::ui::Label> makeCardLabel(const platform::ui::Font& font, const platform::ui::Color& color);
// White title on blue.
std::shared_ptr<platform::ui::Button> makePositiveButton(const std::string& title);
// Blue title on white inside a 1-point blue border.
std::shared_ptr<platform::ui::Button> makeNegativeButton(const std::string& title);
// "<seconds>秒".
std::string countdownText(int seconds);

// Places rows top-down on a card of fixed width; hidden views take no room.
class CardColumn {
 public:
  CardColumn(double width, double sideInset, double top) : width_(width), inset_(sideInset), y_(top) {}
  // A label sized to its wrapped text, at most `maxHeight` high (0 = no limit).
  void placeLabel(platform::ui::Label& label, double gapAfter, double maxHeight = 0);
  void placeView(platform::ui::View& view, double viewWidth, double viewHeight, double gapAfter);
  void advance(double by) { y_ += by; }
  double y() const { return y_; }
  double contentWidth() const { return width_ - 2 * inset_; }
  double inset() const { return inset_; }

 private:
  double width_;
  double inset_;
  double y_;
};

}  // namespace lumo::ui
