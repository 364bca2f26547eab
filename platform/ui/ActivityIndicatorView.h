#pragma once

#include <memory>

#include "platform/PlatformExport.h"
#include "platform/dispatch/Timer.h"
#include "platform/ui/View.h"

namespace platform::ui {

// UIActivityIndicatorView: a spinner of twelve spokes that turns one spoke every 1/12 s of
// main-loop time while animating.
class LUMO_PLATFORM_EXPORT ActivityIndicatorView : public View {
 public:
  enum class Style { medium, large };
  static std::shared_ptr<ActivityIndicatorView> make(Style style = Style::medium);
  ActivityIndicatorView(Style style);
  ~ActivityIndicatorView() override;

  Style style() const { return style_; }
  Color color() const { return color_; }
  void setColor(const Color& color) { color_ = color; }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool hides) { hidesWhenStopped_ = hides; }
  bool isAnimating() const { return timer_ != nullptr; }
  void startAnimating();
  void stopAnimating();
  // The spoke drawn brightest, 0...11.
  int phase() const { return phase_; }
  Size intrinsicContentSize() const override;

 private:
  Style style_;
  Color color_ = Color::gray();
  bool hidesWhenStopped_ = true;
  int phase_ = 0;
  std::shared_ptr<dispatch::Timer> timer_;
};

}  // namespace platform::ui
