#include "lumosdk/utils/dialogs/Toast.h"

#include <algorithm>

#include "lumosdk/recorder/SessionEvents.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

namespace lumo::ui {

using namespace platform::ui;

namespace {
constexpr double kSideMargin = 50;
constexpr double kVerticalInset = 10;
constexpr double kHorizontalInset = 15;
}  // namespace

std::shared_ptr<View> presentToast(Window& window, const std::string& message) {
  auto bounds = window.bounds();
  auto label = Label::make();
  label->setText(message);
  label->setTextColor(Color::white());
  label->setTextAlignment(TextAlignment::center);
  label->setFont(Font::systemFont(14));
  label->setNumberOfLines(0);
  label->setClipsToBounds(true);

  double maxTextWidth = std::max(0.0, bounds.width() - 2 * kSideMargin - 2 * kHorizontalInset);
  double maxTextHeight = std::max(0.0, bounds.height() - 2 * kSideMargin - 2 * kVerticalInset);
  Size text = Label::measure(message, label->font(), maxTextWidth, 0);
  // A very long message is cut at the screen's height rather than running off it.
  text.width = std::min(text.width, maxTextWidth);
  text.height = std::min(text.height, maxTextHeight);

  Size box{text.width + 2 * kHorizontalInset, text.height + 2 * kVerticalInset};
  auto toast = View::make({(bounds.width() - box.width) / 2, (bounds.height() - box.height) / 2, box.width, box.height});
  toast->setBackgroundColor(Color::black().withAlpha(0.7));
  toast->layer()->setCornerRadius(10);
  toast->setClipsToBounds(true);
  // The host's views under the toast keep working.
  toast->setUserInteractionEnabled(false);
  toast->setAutoresizingMask(Autoresizing::flexibleLeftMargin | Autoresizing::flexibleRightMargin |
                             Autoresizing::flexibleTopMargin | Autoresizing::flexibleBottomMargin);
  label->setFrame({kHorizontalInset, kVerticalInset, text.width, text.height});
  toast->addSubview(label);

  View::performWithoutAnimation([&] { toast->setAlpha(0); });
  window.addSubview(toast);
  View::animate(platform::dispatch::Seconds(kToastFadeDuration), [toast] { toast->setAlpha(1); });

  // Held weakly: a toast whose window went away is simply gone.
  std::weak_ptr<View> weakToast = toast;
  platform::dispatch::DispatchQueue::main()->asyncAfter(
      platform::dispatch::Seconds(kToastVisibleDuration), [weakToast, message] {
        auto shown = weakToast.lock();
        if (!shown) return;
        View::animate(platform::dispatch::Seconds(kToastFadeDuration), [shown] { shown->setAlpha(0); },
                      [weakToast, message](bool) {
                        if (auto done = weakToast.lock()) {
                          done->removeFromSuperview();
                          recorder::SessionEvents::ui(recorder::UiKind::toast, recorder::UiAction::dismiss, message);
                        }
                      });
      });
  return toast;
}

}  // namespace lumo::ui
