#include "platform/ui/Touch.h"

#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace platform::ui {

Touch::Touch(int identifier, std::shared_ptr<Window> window, std::shared_ptr<View> view, Point windowLocation,
             double timestamp)
    : identifier_(identifier), window_(window), view_(std::move(view)), location_(windowLocation),
      previous_(windowLocation), timestamp_(timestamp) {}

Point Touch::locationIn(const View* view) const { return view ? view->fromRoot(location_) : location_; }

Point Touch::previousLocationIn(const View* view) const { return view ? view->fromRoot(previous_) : previous_; }

void Touch::update(Phase phase, Point windowLocation, double timestamp) {
  previous_ = location_;
  location_ = windowLocation;
  phase_ = phase;
  timestamp_ = timestamp;
}

}  // namespace platform::ui
